// sondrel-scan: a host on the command line. It loads the library as a host security product
// does, scans (or disinfects) the files and directories it is given through the library's six
// functions from several threads, and prints what the scan servers said about each file.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace sondrel::scan_tool {

// Exit codes.
inline constexpr int kNothingFound = 0;
inline constexpr int kSomethingFound = 1;
inline constexpr int kErrors = 2;

// Runs the program for the arguments after the program name: results on `out`, problems and the
// progress line on `err`. Returns the exit code.
int RunScanTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace sondrel::scan_tool
