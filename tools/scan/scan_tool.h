// sondrel-scan: a host on the command line. It loads the library as a host security product
// does, scans (or disinfects) the files it is given through the library's six functions, and
// prints what the scan servers said about each file.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace sondrel::scan_tool {

struct Arguments {
  std::string library;  // empty: libsondrel.so.<major> beside the program
  std::string engine;   // the engine directory handed to CoreInit
  int waitSeconds = 5;  // how long to wait for a usable scan server
  bool disinfect = false;
  std::vector<std::string> files;
};

// The arguments, or nothing (with the reason in `error`) when they are not usable.
std::optional<Arguments> ParseArguments(const std::vector<std::string>& arguments,
                                        std::string& error);

// Exit codes.
inline constexpr int kAllClean = 0;
inline constexpr int kSomethingFound = 1;
inline constexpr int kUsageError = 2;
inline constexpr int kNotAllScanned = 3;

// Runs the program: one line per file on `out`, problems on `err`. Returns an exit code.
int RunScanTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace sondrel::scan_tool
