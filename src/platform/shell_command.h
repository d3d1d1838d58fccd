// Running a command line through the system's command interpreter.
#pragma once

#include <string>

namespace sondrel::platform {

// Runs `command` and waits for it. Returns its exit code, or -1 when it could not be run or did
// not end by exiting.
int RunShellCommand(const std::string& command);

}  // namespace sondrel::platform
