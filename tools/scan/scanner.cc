#include "tools/scan/scanner.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "tools/scan/file_host.h"

namespace sondrel::scan_tool {
namespace {

constexpr auto kRetryStep = std::chrono::milliseconds(100);
constexpr int32_t kCleanVerdict = 1;
constexpr size_t kThreatCapacity = 256;

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%x", value);
  return text;
}

}  // namespace

const char* KindName(FileResult::Kind kind) {
  switch (kind) {
    case FileResult::Kind::Ok:
      return "OK";
    case FileResult::Kind::Found:
      return "FOUND";
    case FileResult::Kind::Error:
      return "ERROR";
    case FileResult::Kind::NotScanned:
      return "NOT_SCANNED";
    case FileResult::Kind::Skipped:
      return "SKIPPED";
  }
  return "ERROR";
}

Scanner::~Scanner() {
  if (context_ != nullptr) {
    run_.library->coreUninit(run_.client, context_, 0);
  }
}

int32_t Scanner::Init() {
  return run_.library->coreInit(run_.client, &context_, "");
}

Scanner::Outcome Scanner::Request(const std::string& path, const HostCallbacks& callbacks) {
  Outcome outcome;
  if (run_.disinfect) {
    const DisinfectRequest request{&outcome.verdict, path.c_str(), nullptr, &outcome.flags};
    outcome.status = run_.library->coreDisinfect(run_.client, &callbacks, &request, context_);
    return outcome;
  }
  char threat[kThreatCapacity] = {};
  ScanRequest request{};
  request.path = path.c_str();
  request.verdict = &outcome.verdict;
  request.threatName = threat;
  request.threatNameCapacity = sizeof(threat);
  request.cacheAllowed = run_.cacheAllowed ? 1 : 0;
  request.flags = &outcome.flags;
  outcome.status = run_.library->coreScan(run_.client, &callbacks, &request, context_);
  outcome.threat = threat;
  return outcome;
}

FileResult Scanner::Scan(const PathEntry& entry) {
  FileResult result;
  result.path = entry.path;
  result.bytes = entry.size;
  const auto started = std::chrono::steady_clock::now();
  const FileHost host(entry.path, run_.disinfect);
  if (!host.opened()) {
    result.kind = FileResult::Kind::Error;
    result.note = std::string("cannot open: ") + std::strerror(host.openError());
    return result;
  }
  Outcome outcome;
  while (true) {
    outcome = Request(entry.path, host.callbacks());
    const bool waitForServers = outcome.status == SONDREL_STATUS_NOT_SCANNED &&
                                !run_.anyAnswered.load() &&
                                std::chrono::steady_clock::now() < run_.waitUntil;
    if (!waitForServers) {
      break;
    }
    std::this_thread::sleep_for(kRetryStep);
  }
  result.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - started)
                            .count();
  result.status = outcome.status;
  result.verdict = outcome.verdict;
  result.flags = outcome.flags;
  if (outcome.status == SONDREL_STATUS_NOT_SCANNED) {
    result.kind = FileResult::Kind::NotScanned;
    result.note = (outcome.flags & SONDREL_FLAG_SCAN_LOCALLY) != 0
                      ? "not scanned remotely (the servers are overloaded or unusable)"
                      : "not scanned remotely (no usable scan server)";
    return result;
  }
  if (outcome.status != SONDREL_STATUS_SUCCESS) {
    result.kind = FileResult::Kind::Error;
    result.note = "the request failed with status " + std::to_string(outcome.status);
    return result;
  }
  if (!run_.disinfect && (outcome.flags & SONDREL_FLAG_SCAN_DISABLED) != 0) {
    result.kind = FileResult::Kind::NotScanned;
    result.note = "remote scanning is switched off in the settings";
    return result;
  }
  run_.anyAnswered.store(true);
  if (outcome.verdict == kCleanVerdict) {
    result.kind = FileResult::Kind::Ok;
    return result;
  }
  result.kind = FileResult::Kind::Found;
  result.threat = !outcome.threat.empty()
                      ? outcome.threat
                      : "Verdict." + Hex(static_cast<uint32_t>(outcome.verdict));
  return result;
}

}  // namespace sondrel::scan_tool
