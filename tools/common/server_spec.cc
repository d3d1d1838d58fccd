#include "tools/common/server_spec.h"

#include <charconv>
#include <limits>

namespace sondrel::tools {
namespace {

// A whole decimal number between `low` and `high`.
std::optional<int> ParseNumber(std::string_view text, int low, int high) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<ServerSpec> ParseServerSpec(std::string_view text) {
  ServerSpec server;
  if (const size_t at = text.rfind('@'); at != std::string_view::npos) {
    const auto priority = ParseNumber(text.substr(at + 1), std::numeric_limits<int>::min(),
                                      std::numeric_limits<int>::max());
    if (!priority) {
      return std::nullopt;
    }
    server.priority = *priority;
    text = text.substr(0, at);
  }
  size_t hostEnd = 0;
  if (text.starts_with('[')) {
    hostEnd = text.find(']');
    if (hostEnd == std::string_view::npos) {
      return std::nullopt;
    }
    server.address = std::string(text.substr(1, hostEnd - 1));
    ++hostEnd;
  } else {
    hostEnd = text.find(':');
    server.address = std::string(text.substr(0, hostEnd));
  }
  if (server.address.empty() || hostEnd >= text.size() || text[hostEnd] != ':') {
    return std::nullopt;
  }
  std::string_view port = text.substr(hostEnd + 1);
  if (const size_t colon = port.find(':'); colon != std::string_view::npos) {
    if (port.substr(colon + 1) != "tls") {
      return std::nullopt;
    }
    server.tls = true;
    port = port.substr(0, colon);
  }
  const auto number = ParseNumber(port, 1, 65535);
  if (!number) {
    return std::nullopt;
  }
  server.port = static_cast<uint16_t>(*number);
  return server;
}

}  // namespace sondrel::tools
