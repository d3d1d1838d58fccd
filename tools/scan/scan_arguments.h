// The command line of sondrel-scan.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/common/server_spec.h"

namespace sondrel::scan_tool {

struct ScanArguments {
  std::vector<std::string> paths;
  std::optional<std::string> filesFrom;  // "-": standard input
  bool nullSeparated = false;
  std::vector<std::string> excludes;
  bool followSymlinks = false;

  std::vector<tools::ServerSpec> servers;
  std::optional<std::string> settingsFile;
  bool noLocalServer = false;
  std::optional<std::string> logDir;
  std::string library;  // empty: libsondrel beside the program
  std::string engine;   // the engine directory handed to CoreInit

  int threads = 1;
  int waitSeconds = 5;      // how long to wait for a usable scan server
  int timeoutSeconds = 60;  // the time one request may take (settings made by the tool)
  bool noCache = false;
  bool disinfect = false;

  bool infectedOnly = false;
  bool noSummary = false;
  bool json = false;
  bool noProgress = false;

  bool help = false;
  bool version = false;
};

// The default number of scanning threads: the number of cores, at most 8.
int DefaultThreads();

// The arguments after the program name; nothing, with the reason in `error`, on a usage error.
std::optional<ScanArguments> ParseScanArguments(const std::vector<std::string>& arguments,
                                                std::string& error);

std::string ScanHelp();
std::string ScanUsage();

}  // namespace sondrel::scan_tool
