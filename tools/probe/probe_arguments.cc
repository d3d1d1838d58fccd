#include "tools/probe/probe_arguments.h"

#include <memory>

#include "tools/common/command_line.h"
#include "tools/common/server_spec.h"

namespace sondrel::probe {
namespace {

constexpr const char* kUsageLine =
    "usage: sondrel-probe [--settings FILE] [--server HOST:PORT[:tls][@PRIORITY]]... "
    "[--seconds N] [--json]\n"
    "       sondrel-probe --status SOCKET [--json]";

std::unique_ptr<CLI::App> DefineOptions(ProbeArguments& parsed, std::vector<std::string>& servers) {
  auto app = tools::MakeApp("sondrel-probe", kUsageLine);
  app->add_option("--settings", parsed.settingsFile,
                  "read the servers and the pool settings from a settings file")
      ->type_name("FILE");
  app->add_option("--server", servers,
                  "add a server (repeatable); PRIORITY defaults to 0, lower is preferred")
      ->type_name(tools::kServerSpecForm)
      ->allow_extra_args(false);
  app->add_option("--seconds", parsed.seconds,
                  "run the pool for N seconds before reporting (default 6)")
      ->type_name("N")
      ->check(CLI::Range(0, kLongestRunSeconds).description(""));
  app->add_flag("--json", parsed.json, "print the report as one JSON object");
  app->add_option("--status", parsed.statusSocket,
                  "print what the internal monitor's status socket reports")
      ->type_name("SOCKET");
  app->footer(
      "Exit codes: 0 a usable session exists (--status: a report came), 1 none does, 2 usage "
      "error.");
  return app;
}

}  // namespace

std::optional<FileServerEntry> ParseServer(std::string_view text) {
  const std::optional<tools::ServerSpec> spec = tools::ParseServerSpec(text);
  if (!spec) {
    return std::nullopt;
  }
  FileServerEntry server;
  server.address = spec->address;
  server.port = std::to_string(spec->port);
  server.portSSL = server.port;
  server.useSSL = spec->tls ? 1 : 0;
  server.priority = spec->priority;
  return server;
}

std::optional<ProbeArguments> ParseProbeArguments(const std::vector<std::string>& arguments,
                                                  std::string& error) {
  ProbeArguments parsed;
  std::vector<std::string> servers;
  auto app = DefineOptions(parsed, servers);
  const tools::ParseOutcome outcome = tools::Parse(*app, arguments);
  if (outcome.help) {
    parsed.help = true;
    return parsed;
  }
  if (!outcome.parsed) {
    error = outcome.error;
    return std::nullopt;
  }
  if (parsed.statusSocket) {
    if (parsed.settingsFile || !servers.empty()) {
      error = "--status takes no --settings or --server";
      return std::nullopt;
    }
    return parsed;
  }
  for (const std::string& text : servers) {
    const auto server = ParseServer(text);
    if (!server) {
      error = "not a server (HOST:PORT[:tls][@PRIORITY]): " + text;
      return std::nullopt;
    }
    parsed.servers.push_back(*server);
  }
  if (!parsed.settingsFile && parsed.servers.empty()) {
    error = "no server: give --settings or --server";
    return std::nullopt;
  }
  return parsed;
}

std::string ProbeHelp() {
  ProbeArguments parsed;
  std::vector<std::string> servers;
  return DefineOptions(parsed, servers)->help();
}

std::string ProbeUsage() {
  return std::string(kUsageLine) + "\n";
}

}  // namespace sondrel::probe
