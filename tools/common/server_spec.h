// A scan server as the command-line tools take it: HOST:PORT, then ":tls" for TLS, then
// "@PRIORITY"; an IPv6 address is written in brackets.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sondrel::tools {

struct ServerSpec {
  std::string address;
  uint16_t port = 0;
  bool tls = false;
  int32_t priority = 0;  // lower is preferred
};

// Nothing when the text is not of that form or the port is not 1 to 65535.
std::optional<ServerSpec> ParseServerSpec(std::string_view text);

inline constexpr const char* kServerSpecForm = "HOST:PORT[:tls][@PRIORITY]";

}  // namespace sondrel::tools
