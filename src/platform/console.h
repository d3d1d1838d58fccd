// What a command-line program needs of its console and of the signals that end it.
#pragma once

#include <string_view>

namespace sondrel::platform {

// Whether standard error is a terminal (a progress line makes sense there).
bool StandardErrorIsTerminal();

// Whether `name` matches the shell pattern `pattern` (`*`, `?`, `[...]`); a `*` matches `/` too,
// so that "*.tmp" excludes such files in every directory.
bool MatchesPattern(std::string_view pattern, std::string_view name);

// From now on, an interrupt, a termination or a hang-up signal first asks the process `pid` to
// stop and then ends this process as the signal would. Pass 0 to forget the process.
void StopChildOnSignals(int pid);

}  // namespace sondrel::platform
