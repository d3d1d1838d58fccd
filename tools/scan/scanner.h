// One scanning thread's side of the library: its own context, and the requests it makes for the
// files it takes from the queue.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "tools/scan/file_result.h"
#include "tools/scan/library.h"
#include "tools/scan/path_source.h"

namespace sondrel::scan_tool {

// What the scanning threads share about the run.
struct ScanRun {
  const Library* library = nullptr;
  SondrelObject* client = nullptr;
  bool disinfect = false;
  bool cacheAllowed = true;
  // Until then, a file that is not scanned because no server is usable yet is tried again.
  std::chrono::steady_clock::time_point waitUntil;
  // Set once a server answered: from then on a file that is not scanned is only that file's
  // problem, not a sign that no server can be reached.
  std::atomic<bool> anyAnswered{false};
};

class Scanner {
 public:
  explicit Scanner(ScanRun& run) : run_(run) {}
  ~Scanner();
  Scanner(const Scanner&) = delete;
  Scanner& operator=(const Scanner&) = delete;

  // CoreInit for this thread; the status, 0 on success.
  int32_t Init();
  FileResult Scan(const PathEntry& entry);

 private:
  struct Outcome {
    int32_t status = 0;
    int32_t verdict = 0;
    int32_t flags = 0;
    std::string threat;
  };
  Outcome Request(const std::string& path, const HostCallbacks& callbacks);

  ScanRun& run_;
  SondrelScanContext* context_ = nullptr;
};

}  // namespace sondrel::scan_tool
