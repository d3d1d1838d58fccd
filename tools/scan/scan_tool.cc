#include "tools/scan/scan_tool.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

#include "config/settings_file.h"
#include "platform/console.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/process_info.h"
#include "platform/utf8.h"
#include "tools/scan/host_setup.h"
#include "tools/scan/library.h"
#include "tools/scan/local_server.h"
#include "tools/scan/path_source.h"
#include "tools/scan/progress.h"
#include "tools/scan/report.h"
#include "tools/scan/scan_arguments.h"
#include "tools/scan/scanner.h"
#include "tools/scan/work_queue.h"

namespace sondrel::scan_tool {
namespace {

constexpr size_t kQueueCapacity = 1024;

// Whether the library would find a settings file by itself.
bool SettingsFound() {
  if (platform::EnvironmentPath(SONDREL_ENV_SETTINGS_FILE)) {
    return true;
  }
  return platform::FileExists(LocateSettingsFile(platform::ExecutableDirectory()));
}

// Decides where the servers are (starting the private one when that is the way) and prepares
// the library's environment. False when the run cannot go on.
bool PrepareHost(const ScanArguments& arguments, HostSetup& setup,
                 std::unique_ptr<LocalServer>& localServer, std::ostream& err) {
  HostSettings settings;
  settings.servers = arguments.servers;
  settings.settingsFile = arguments.settingsFile;
  settings.timeoutSeconds = arguments.timeoutSeconds;
  settings.logDir = arguments.logDir;
  if (arguments.settingsFile && !std::ifstream(*arguments.settingsFile)) {
    err << "sondrel-scan: cannot read the settings file " << *arguments.settingsFile << "\n";
    return false;
  }
  if (settings.servers.empty() && !settings.settingsFile && !SettingsFound()) {
    if (arguments.noLocalServer) {
      err << "sondrel-scan: no scan server: give --server or --settings\n";
      return false;
    }
    localServer = LocalServer::Start(err);
    if (localServer == nullptr) {
      return false;
    }
    err << "sondrel-scan: no scan server given, scanning through a private "
        << std::filesystem::path(localServer->program()).filename().string()
        << " on 127.0.0.1:" << localServer->port() << "\n";
    settings.servers.push_back({"127.0.0.1", localServer->port(), false, 0});
  }
  return setup.Prepare(settings, err);
}

// The paths of the run, in order, with the list of --files-from.
struct PathInput {
  std::unique_ptr<std::ifstream> file;
  std::istream* list = nullptr;
};

bool OpenList(const ScanArguments& arguments, PathInput& input, std::ostream& err) {
  if (!arguments.filesFrom) {
    return true;
  }
  if (*arguments.filesFrom == "-") {
    input.list = &std::cin;
    return true;
  }
  input.file = std::make_unique<std::ifstream>(*arguments.filesFrom, std::ios::binary);
  if (!*input.file) {
    err << "sondrel-scan: cannot read " << *arguments.filesFrom << "\n";
    return false;
  }
  input.list = input.file.get();
  return true;
}

PathRules RulesOf(const ScanArguments& arguments) {
  return {arguments.excludes, arguments.followSymlinks};
}

// A second walk over the same paths for the progress line's totals, when they can be read twice.
std::unique_ptr<PathSource> CounterFor(const ScanArguments& arguments, PathInput& again) {
  if (arguments.filesFrom && *arguments.filesFrom == "-") {
    return nullptr;
  }
  if (arguments.filesFrom) {
    again.file = std::make_unique<std::ifstream>(*arguments.filesFrom, std::ios::binary);
    again.list = again.file.get();
  }
  return std::make_unique<PathSource>(arguments.paths, again.list,
                                      arguments.nullSeparated ? '\0' : '\n', RulesOf(arguments));
}

std::string VersionText(const ScanArguments& arguments) {
  const std::wstring library =
      arguments.library.empty() ? DefaultLibraryPath() : platform::ToWide(arguments.library);
  std::error_code error;
  const auto resolved = std::filesystem::canonical(platform::NativePath(library), error);
  return std::string("sondrel-scan ") + SONDREL_TOOL_VERSION + "\nlibrary " +
         (error ? platform::ToUtf8(library) + " (not found)" : resolved.string()) + "\n";
}

// Scans every file the paths lead to with `threads` threads over one queue.
void ScanAll(const ScanArguments& arguments, ScanRun& run, PathSource& paths, Report& report) {
  WorkQueue<PathEntry> queue(kQueueCapacity);
  std::atomic<bool> stop{false};
  std::vector<std::thread> workers;
  for (int i = 0; i < arguments.threads; ++i) {
    workers.emplace_back([&] {
      Scanner scanner(run);
      if (const int32_t status = scanner.Init(); status != 0) {
        report.Fail("the library did not start (status " + std::to_string(status) + ")");
        stop.store(true);
        queue.Abandon();
        return;
      }
      while (std::optional<PathEntry> entry = queue.Pop()) {
        const FileResult result = scanner.Scan(*entry);
        if (result.kind == FileResult::Kind::NotScanned && !run.anyAnswered.load()) {
          // No server was usable within the wait: every other file would fare the same.
          report.Fail("no scan server was usable within " + std::to_string(arguments.waitSeconds) +
                      " s: " + result.note);
          stop.store(true);
          queue.Abandon();
          return;
        }
        report.Add(result);
      }
    });
  }
  while (!stop.load()) {
    std::optional<PathEntry> entry = paths.Next();
    if (!entry) {
      break;
    }
    if (entry->kind != PathEntry::Kind::File) {
      FileResult result;
      result.path = entry->path;
      result.kind = entry->kind == PathEntry::Kind::Skipped ? FileResult::Kind::Skipped
                                                            : FileResult::Kind::Error;
      result.note = entry->note;
      report.Add(result);
      continue;
    }
    if (!queue.Push(std::move(*entry))) {
      break;
    }
  }
  queue.Close();
  for (std::thread& worker : workers) {
    worker.join();
  }
}

}  // namespace

int RunScanTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  std::string error;
  const std::optional<ScanArguments> parsed = ParseScanArguments(arguments, error);
  if (!parsed) {
    err << "sondrel-scan: " << error << "\n" << ScanUsage();
    return kErrors;
  }
  if (parsed->help) {
    out << ScanHelp();
    return kNothingFound;
  }
  if (parsed->version) {
    out << VersionText(*parsed);
    return kNothingFound;
  }
  PathInput input;
  if (!OpenList(*parsed, input, err)) {
    return kErrors;
  }
  HostSetup setup;
  std::unique_ptr<LocalServer> localServer;
  if (!PrepareHost(*parsed, setup, localServer, err)) {
    return kErrors;
  }
  Library library;
  if (!library.Load(
          parsed->library.empty() ? DefaultLibraryPath() : platform::ToWide(parsed->library),
          err)) {
    return kErrors;
  }
  const auto started = std::chrono::steady_clock::now();
  Report report(out, err, {parsed->json, parsed->infectedOnly, parsed->disinfect});
  ScanRun run;
  run.library = &library;
  run.client = library.coreNew();
  run.disinfect = parsed->disinfect;
  run.cacheAllowed = !parsed->noCache;
  run.waitUntil = started + std::chrono::seconds(parsed->waitSeconds);
  // This thread's context brings the client up first, and its final Uninit takes it down.
  SondrelScanContext* context = nullptr;
  const int32_t initResult = library.coreInit(run.client, &context, parsed->engine.c_str());
  if (initResult != 0) {
    err << "sondrel-scan: the library did not start (status " << initResult << ")\n";
    library.coreFree(run.client);
    return kErrors;
  }
  {
    PathSource paths(parsed->paths, input.list, parsed->nullSeparated ? '\0' : '\n',
                     RulesOf(*parsed));
    std::unique_ptr<Progress> progress;
    PathInput again;
    if (!parsed->noProgress && platform::StandardErrorIsTerminal()) {
      progress = std::make_unique<Progress>(err, report, CounterFor(*parsed, again));
      report.SetBeforeWrite([&progress] { progress->Clear(); });
    }
    ScanAll(*parsed, run, paths, report);
    report.SetBeforeWrite(nullptr);
  }
  library.coreUninit(run.client, context, SONDREL_UNINIT_FINAL);
  library.coreFree(run.client);
  if (!parsed->noSummary) {
    report.WriteSummary(std::chrono::steady_clock::now() - started);
  }
  return report.ExitCode();
}

}  // namespace sondrel::scan_tool
