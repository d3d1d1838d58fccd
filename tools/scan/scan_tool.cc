#include "tools/scan/scan_tool.h"

#include <chrono>
#include <cstdio>
#include <string_view>
#include <thread>

#include "platform/module_loader.h"
#include "platform/path.h"
#include "platform/process_info.h"
#include "platform/utf8.h"
#include "sondrel/sondrel.h"
#include "tools/scan/file_host.h"

namespace sondrel::scan_tool {
namespace {

constexpr std::string_view kUsage =
    "usage: sondrel-scan [--library FILE] [--engine DIR] [--wait SECONDS] [--disinfect] FILE...\n";
constexpr int kMaxWaitSeconds = 3600;
constexpr auto kRetryStep = std::chrono::milliseconds(100);
constexpr int32_t kCleanVerdict = 1;

// The library's six functions, as a host resolves them.
struct Library {
  platform::ModuleHandle module = nullptr;
  decltype(&CoreNew) coreNew = nullptr;
  decltype(&CoreFree) coreFree = nullptr;
  decltype(&CoreInit) coreInit = nullptr;
  decltype(&CoreScan) coreScan = nullptr;
  decltype(&CoreUninit) coreUninit = nullptr;
  decltype(&CoreDisinfect) coreDisinfect = nullptr;

  ~Library() {
    if (module != nullptr) {
      platform::FreeModule(module);
    }
  }

  bool Load(const std::wstring& path, std::ostream& err) {
    uint32_t error = 0;
    module = platform::LoadModule(path, &error);
    if (module == nullptr) {
      err << "cannot load " << platform::ToUtf8(path) << ": " << platform::LastModuleError()
          << "\n";
      return false;
    }
    return Resolve(coreNew, "CoreNew", err) && Resolve(coreFree, "CoreFree", err) &&
           Resolve(coreInit, "CoreInit", err) && Resolve(coreScan, "CoreScan", err) &&
           Resolve(coreUninit, "CoreUninit", err) && Resolve(coreDisinfect, "CoreDisinfect", err);
  }

  template <typename Function>
  bool Resolve(Function& function, const char* name, std::ostream& err) {
    function = reinterpret_cast<Function>(platform::GetModuleSymbol(module, name));
    if (function == nullptr) {
      err << "the library does not export " << name << "\n";
    }
    return function != nullptr;
  }
};

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%x", value);
  return text;
}

std::optional<int> Seconds(const std::string& text) {
  try {
    size_t used = 0;
    const int value = std::stoi(text, &used);
    if (used == text.size() && value >= 0 && value <= kMaxWaitSeconds) {
      return value;
    }
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

// What one request ended with.
struct Outcome {
  int32_t status = 0;
  int32_t verdict = 0;
  int32_t flags = 0;
  std::string threat;
};

class Scanner {
 public:
  Scanner(const Library& library, SondrelObject* client, SondrelScanContext* context,
          const Arguments& arguments)
      : library_(library),
        client_(client),
        context_(context),
        arguments_(arguments),
        deadline_(std::chrono::steady_clock::now() + std::chrono::seconds(arguments.waitSeconds)) {}

  // Scans or disinfects the file, again and again while no scan server is usable yet.
  Outcome Run(const std::string& path, const FileHost& host) {
    while (true) {
      Outcome outcome = arguments_.disinfect ? Disinfect(path, host) : Scan(path, host);
      const bool waitForServers = outcome.status == SONDREL_STATUS_NOT_SCANNED &&
                                  std::chrono::steady_clock::now() < deadline_;
      if (!waitForServers) {
        return outcome;
      }
      std::this_thread::sleep_for(kRetryStep);
    }
  }

 private:
  Outcome Scan(const std::string& path, const FileHost& host) {
    Outcome outcome;
    char threat[256] = {};
    ScanRequest request{};
    request.path = path.c_str();
    request.verdict = &outcome.verdict;
    request.threatName = threat;
    request.threatNameCapacity = sizeof(threat);
    request.cacheAllowed = 1;
    request.flags = &outcome.flags;
    outcome.status = library_.coreScan(client_, &host.callbacks(), &request, context_);
    outcome.threat = threat;
    return outcome;
  }

  Outcome Disinfect(const std::string& path, const FileHost& host) {
    Outcome outcome;
    const DisinfectRequest request{&outcome.verdict, path.c_str(), nullptr, &outcome.flags};
    outcome.status = library_.coreDisinfect(client_, &host.callbacks(), &request, context_);
    return outcome;
  }

  const Library& library_;
  SondrelObject* client_;
  SondrelScanContext* context_;
  const Arguments& arguments_;
  const std::chrono::steady_clock::time_point deadline_;
};

// Prints the line for one file; returns what the file adds to the exit code.
int Report(const std::string& path, const Outcome& outcome, bool disinfect, std::ostream& out) {
  out << path << ": ";
  if (outcome.status == SONDREL_STATUS_NOT_SCANNED) {
    out << "not scanned remotely"
        << ((outcome.flags & SONDREL_FLAG_SCAN_LOCALLY) != 0 ? " (scan it locally)" : "") << "\n";
    return kNotAllScanned;
  }
  if (outcome.status != 0) {
    out << "failed with status " << outcome.status << "\n";
    return kNotAllScanned;
  }
  if (!disinfect && (outcome.flags & SONDREL_FLAG_SCAN_DISABLED) != 0) {
    out << "not scanned (remote scanning is off)\n";
    return kNotAllScanned;
  }
  if (disinfect) {
    out << "disinfected, verdict " << Hex(static_cast<uint32_t>(outcome.verdict))
        << ((outcome.flags & SONDREL_DISINFECT_FLAG_REBOOT_REQUIRED) != 0 ? ", reboot required"
                                                                          : "")
        << "\n";
    return kAllClean;
  }
  if (outcome.verdict == kCleanVerdict) {
    out << "clean\n";
    return kAllClean;
  }
  out << "verdict " << Hex(static_cast<uint32_t>(outcome.verdict));
  if (!outcome.threat.empty()) {
    out << ": " << outcome.threat;
  }
  out << "\n";
  return kSomethingFound;
}

std::wstring LibraryPath(const Arguments& arguments) {
  if (!arguments.library.empty()) {
    return platform::ToWide(arguments.library);
  }
  return platform::ExecutableDirectory() + platform::ToWide(SONDREL_LIBRARY_FILE_NAME);
}

}  // namespace

std::optional<Arguments> ParseArguments(const std::vector<std::string>& arguments,
                                        std::string& error) {
  Arguments parsed;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (argument == "--disinfect") {
      parsed.disinfect = true;
    } else if (argument == "--library" || argument == "--engine" || argument == "--wait") {
      if (!hasValue) {
        error = argument + " needs a value";
        return std::nullopt;
      }
      const std::string& value = arguments[++i];
      if (argument == "--library") {
        parsed.library = value;
      } else if (argument == "--engine") {
        parsed.engine = value;
      } else if (const std::optional<int> seconds = Seconds(value)) {
        parsed.waitSeconds = *seconds;
      } else {
        error = "--wait takes a number of seconds from 0 to 3600";
        return std::nullopt;
      }
    } else if (argument.starts_with("--")) {
      error = "unknown option " + argument;
      return std::nullopt;
    } else {
      parsed.files.push_back(argument);
    }
  }
  if (parsed.files.empty()) {
    error = "no file to scan";
    return std::nullopt;
  }
  return parsed;
}

int RunScanTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  std::string error;
  const std::optional<Arguments> parsed = ParseArguments(arguments, error);
  if (!parsed) {
    err << "sondrel-scan: " << error << "\n" << kUsage;
    return kUsageError;
  }
  Library library;
  if (!library.Load(LibraryPath(*parsed), err)) {
    return kUsageError;
  }
  SondrelObject* client = library.coreNew();
  SondrelScanContext* context = nullptr;
  const int32_t initResult = library.coreInit(client, &context, parsed->engine.c_str());
  if (initResult != 0) {
    err << "sondrel-scan: the library did not start (status " << initResult << ")\n";
    library.coreFree(client);
    return kNotAllScanned;
  }
  Scanner scanner(library, client, context, *parsed);
  int exitCode = kAllClean;
  for (const std::string& path : parsed->files) {
    const FileHost host(path, parsed->disinfect);
    if (!host.opened()) {
      out << path << ": cannot be opened\n";
      exitCode = std::max(exitCode, kNotAllScanned);
      continue;
    }
    exitCode = std::max(exitCode, Report(path, scanner.Run(path, host), parsed->disinfect, out));
  }
  library.coreUninit(client, context, SONDREL_UNINIT_FINAL);
  library.coreFree(client);
  return exitCode;
}

}  // namespace sondrel::scan_tool
