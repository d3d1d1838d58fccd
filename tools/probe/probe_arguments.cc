#include "tools/probe/probe_arguments.h"

#include <charconv>
#include <limits>

namespace sondrel::probe {
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

const char kUsage[] =
    "usage: sondrel-probe [--settings FILE] [--server HOST:PORT[:tls][@PRIORITY]]... "
    "[--seconds N] [--json]\n"
    "  --settings FILE   read the servers and the pool settings from a settings file\n"
    "  --server ...      add a server (repeatable); PRIORITY defaults to 0, lower is preferred\n"
    "  --seconds N       run the pool for N seconds before reporting (default 6)\n"
    "  --json            print the report as one JSON object\n"
    "       sondrel-probe --status SOCKET [--json]\n"
    "  --status SOCKET   print what the internal monitor's status socket reports\n"
    "Exit codes: 0 a usable session exists (--status: a report came), 1 none does, 2 usage "
    "error.\n";

std::optional<FileServerEntry> ParseServer(std::string_view text) {
  FileServerEntry server;
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
    server.useSSL = 1;
    port = port.substr(0, colon);
  }
  if (!ParseNumber(port, 1, 65535)) {
    return std::nullopt;
  }
  server.port = std::string(port);
  server.portSSL = server.port;
  return server;
}

std::optional<ProbeArguments> ParseProbeArguments(const std::vector<std::string>& arguments,
                                                  std::string& error) {
  ProbeArguments parsed;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& option = arguments[i];
    if (option == "--json") {
      parsed.json = true;
      continue;
    }
    if (option == "--help" || option == "-h") {
      parsed.help = true;
      continue;
    }
    if (option != "--settings" && option != "--server" && option != "--seconds" &&
        option != "--status") {
      error = "unknown option " + option;
      return std::nullopt;
    }
    if (i + 1 == arguments.size()) {
      error = option + " needs a value";
      return std::nullopt;
    }
    const std::string& value = arguments[++i];
    if (option == "--status") {
      parsed.statusSocket = value;
    } else if (option == "--settings") {
      parsed.settingsFile = value;
    } else if (option == "--server") {
      const auto server = ParseServer(value);
      if (!server) {
        error = "not a server (HOST:PORT[:tls][@PRIORITY]): " + value;
        return std::nullopt;
      }
      parsed.servers.push_back(*server);
    } else {
      const auto seconds = ParseNumber(value, 0, kLongestRunSeconds);
      if (!seconds) {
        error = "--seconds takes a whole number from 0 to " + std::to_string(kLongestRunSeconds);
        return std::nullopt;
      }
      parsed.seconds = *seconds;
    }
  }
  if (parsed.statusSocket && (parsed.settingsFile || !parsed.servers.empty())) {
    error = "--status takes no --settings or --server";
    return std::nullopt;
  }
  if (!parsed.help && !parsed.statusSocket && !parsed.settingsFile && parsed.servers.empty()) {
    error = "no server: give --settings or --server";
    return std::nullopt;
  }
  return parsed;
}

}  // namespace sondrel::probe
