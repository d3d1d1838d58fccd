#include "tools/scan/scan_arguments.h"

#include <algorithm>
#include <memory>
#include <thread>

#include "tools/common/command_line.h"

namespace sondrel::scan_tool {
namespace {

constexpr const char* kUsageLine = "usage: sondrel-scan [OPTIONS] PATH...";
constexpr int kMostThreads = 64;
constexpr int kLongestWait = 3600;

std::unique_ptr<CLI::App> DefineOptions(ScanArguments& a, std::vector<std::string>& servers) {
  auto app = tools::MakeApp("sondrel-scan", kUsageLine);
  app->add_option("paths", a.paths, "files and directories to scan (directories recursively)")
      ->type_name("PATH");

  const std::string where = "Where the scan servers are";
  app->add_option("--server", servers,
                  "a scan server (repeatable); PRIORITY defaults to 0, lower is preferred")
      ->type_name(tools::kServerSpecForm)
      ->allow_extra_args(false)
      ->group(where);
  app->add_option("--settings", a.settingsFile, "a settings file (qxcore.xml) for the library")
      ->type_name("FILE")
      ->group(where);
  app->add_flag("--no-local-server", a.noLocalServer,
                "without --server or --settings, do not start a private sondrel-server")
      ->group(where);
  app->add_option("--wait", a.waitSeconds, "seconds to wait for a usable scan server (default 5)")
      ->type_name("SECONDS")
      ->check(CLI::Range(0, kLongestWait).description(""))
      ->group(where);
  app->add_option("--timeout", a.timeoutSeconds,
                  "seconds one file may take on the server, for settings the tool writes "
                  "(default 60)")
      ->type_name("SECONDS")
      ->check(CLI::Range(1, kLongestWait).description(""))
      ->group(where);

  const std::string what = "What to scan";
  app->add_option("--files-from", a.filesFrom,
                  "read the paths to scan from FILE, one per line (- for standard input)")
      ->type_name("FILE")
      ->group(what);
  app->add_flag("--null", a.nullSeparated, "paths read with --files-from end with NUL, not newline")
      ->group(what);
  app->add_option("--exclude", a.excludes,
                  "skip paths that match the pattern (repeatable); a pattern without / is "
                  "matched against the name, one with / against the whole path")
      ->type_name("GLOB")
      ->allow_extra_args(false)
      ->group(what);
  app->add_flag("--follow-symlinks", a.followSymlinks,
                "follow symbolic links met inside directories (named paths are always followed)")
      ->group(what);

  const std::string how = "How to scan";
  app->add_option("--threads", a.threads,
                  "scanning threads, each with its own library context (default: the number of "
                  "cores, at most 8)")
      ->type_name("N")
      ->check(CLI::Range(1, kMostThreads).description(""))
      ->group(how);
  app->add_flag("--no-cache", a.noCache,
                "neither the local response cache nor the server's cache answers")
      ->group(how);
  app->add_flag("--disinfect", a.disinfect, "ask the servers to clean the files instead")
      ->group(how);
  app->add_option("--library", a.library, "the library to load (default: beside the program)")
      ->type_name("FILE")
      ->group(how);
  app->add_option("--engine", a.engine, "the engine directory handed to the library")
      ->type_name("DIR")
      ->group(how);
  app->add_option("--log-dir", a.logDir,
                  "write the library's log to DIR instead of warnings to standard error")
      ->type_name("DIR")
      ->group(how);

  const std::string output = "Output";
  app->add_flag("--infected", a.infectedOnly, "print only detections and errors")->group(output);
  app->add_flag("--no-summary", a.noSummary, "no summary at the end")->group(output);
  app->add_flag("--json", a.json, "one JSON object per file and one for the summary (JSON Lines)")
      ->group(output);
  app->add_flag("--no-progress", a.noProgress, "no progress line on a terminal")->group(output);
  app->add_flag("--version", a.version, "print the versions of the tool and of the library")
      ->group(output);
  app->footer(
      "Exit codes: 0 nothing found, 1 something found, 2 errors (usage, the library or the\n"
      "servers unusable, paths that could not be read or files that were not scanned).");
  return app;
}

}  // namespace

int DefaultThreads() {
  return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
}

std::optional<ScanArguments> ParseScanArguments(const std::vector<std::string>& arguments,
                                                std::string& error) {
  ScanArguments parsed;
  parsed.threads = DefaultThreads();
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
  if (parsed.version) {
    return parsed;
  }
  for (const std::string& text : servers) {
    const auto server = tools::ParseServerSpec(text);
    if (!server) {
      error = std::string("not a server (") + tools::kServerSpecForm + "): " + text;
      return std::nullopt;
    }
    parsed.servers.push_back(*server);
  }
  if (!parsed.servers.empty() && parsed.settingsFile) {
    error = "give --server or --settings, not both";
    return std::nullopt;
  }
  if (parsed.nullSeparated && !parsed.filesFrom) {
    error = "--null goes with --files-from";
    return std::nullopt;
  }
  if (parsed.paths.empty() && !parsed.filesFrom) {
    error = "nothing to scan: give a PATH or --files-from";
    return std::nullopt;
  }
  return parsed;
}

std::string ScanHelp() {
  ScanArguments parsed;
  std::vector<std::string> servers;
  return DefineOptions(parsed, servers)->help();
}

std::string ScanUsage() {
  return std::string(kUsageLine) + "\n";
}

}  // namespace sondrel::scan_tool
