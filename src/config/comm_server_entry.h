// One server as the connection manager takes it (the list of option 21).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/server_settings.h"

namespace sondrel {

struct CommServerEntry {
  int32_t priority = 0;
  int32_t enforced = 0;     // 1 or 0
  std::string port;         // decimal text
  std::string address;      // UTF-8
  std::string nodeid;       // UTF-8
  int32_t regionMatch = 0;  // set by the connection manager
  int32_t useSSL = 0;       // 1 or 0
  std::string tlsPin;       // UTF-8; empty: the pin of the TLS options

  friend bool operator==(const CommServerEntry&, const CommServerEntry&) = default;
};

// Replaces the contents of entries with one entry per server, in order.
void BuildCommServerEntries(const std::vector<ServerSettings>& servers,
                            std::vector<CommServerEntry>& entries);

}  // namespace sondrel
