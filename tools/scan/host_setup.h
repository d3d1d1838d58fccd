// Where the library finds its settings and its logging configuration when sondrel-scan runs it.
// The tool writes nothing beside itself or in the working directory: what it must write (a
// settings file naming the servers of the command line, a logging configuration) goes into a
// private temporary directory that lives as long as this object, and the library is told where
// through the environment before it is loaded.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/common/server_spec.h"

namespace sondrel::scan_tool {

struct HostSettings {
  // The servers to scan on; empty keeps the settings file given (or found) as it is.
  std::vector<tools::ServerSpec> servers;
  std::optional<std::string> settingsFile;
  int timeoutSeconds = 60;
  // Where the library's log file goes; without it, warnings and errors go to standard error,
  // unless the environment already names a logging configuration.
  std::optional<std::string> logDir;
};

class HostSetup {
 public:
  HostSetup() = default;
  ~HostSetup();
  HostSetup(const HostSetup&) = delete;
  HostSetup& operator=(const HostSetup&) = delete;

  // Prepares the directory and the environment; says why on `err` when it cannot.
  bool Prepare(const HostSettings& settings, std::ostream& err);

 private:
  bool MakeDirectory(std::ostream& err);

  std::string directory_;
};

// The settings file for `servers`. All plain servers share one port and all TLS servers share
// one port, as the settings file has one of each; nothing, with the reason in `error`, when the
// servers do not.
std::optional<std::string> SettingsFileFor(const std::vector<tools::ServerSpec>& servers,
                                           int timeoutSeconds, std::string& error);

}  // namespace sondrel::scan_tool
