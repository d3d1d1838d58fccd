// sondrel-probe --status SOCKET: what the internal monitor's status socket says about the host's
// live clients, as a table or as the monitor's own JSON document.
#pragma once

#include <chrono>
#include <optional>
#include <ostream>
#include <string>

namespace sondrel::probe {

// The monitor's answer to "status", or nothing with the reason in `error` (no socket, no answer
// within the time-out, or an answer that is no status document).
std::optional<std::string> QueryStatus(const std::string& socketPath,
                                       std::chrono::milliseconds timeout, std::string& error);

// Prints the document: the JSON as it came, or a table. Returns the exit code (0 with a
// document, 1 without).
int RunStatus(const std::string& socketPath, bool json, std::ostream& out, std::ostream& err);

}  // namespace sondrel::probe
