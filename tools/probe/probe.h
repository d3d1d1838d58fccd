// sondrel-probe: runs the comm client's pool against the configured scan servers for a few seconds,
// as the library runs it, and reports what each session found.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace sondrel::probe {

// Exit codes.
inline constexpr int kUsable = 0;
inline constexpr int kNoneUsable = 1;
inline constexpr int kUsageError = 2;

// Runs the probe for the arguments after the program name: the report goes to `out`, usage errors
// with the usage text to `err`. Returns the exit code.
int RunProbe(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace sondrel::probe
