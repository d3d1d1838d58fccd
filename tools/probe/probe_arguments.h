// The command line of sondrel-probe:
//   sondrel-probe [--settings FILE] [--server HOST:PORT[:tls][@PRIORITY]]... [--seconds N] [--json]
//   sondrel-probe --status SOCKET [--json]
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings_file_record.h"

namespace sondrel::probe {

inline constexpr int kDefaultSeconds = 6;
inline constexpr int kLongestRunSeconds = 3600;

struct ProbeArguments {
  std::optional<std::string> settingsFile;
  // The servers of --server, as a settings file would list them.
  std::vector<FileServerEntry> servers;
  int seconds = kDefaultSeconds;
  // The internal monitor's status socket to ask instead of running a pool.
  std::optional<std::string> statusSocket;
  bool json = false;
  bool help = false;
};

// One --server value, as a settings file would list it; nothing when the text is not of the
// form HOST:PORT[:tls][@PRIORITY].
std::optional<FileServerEntry> ParseServer(std::string_view text);

// The arguments after the program name; nothing, with the reason in `error`, on a usage error.
std::optional<ProbeArguments> ParseProbeArguments(const std::vector<std::string>& arguments,
                                                  std::string& error);

// The help text, which begins with the usage line.
std::string ProbeHelp();
std::string ProbeUsage();

}  // namespace sondrel::probe
