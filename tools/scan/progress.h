// The progress line sondrel-scan keeps on a terminal's standard error: files and bytes done (of
// the total, once a second walk has counted it), the rate and the time left. It is redrawn a few
// times a second and cleared before any other output.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <thread>

#include "tools/scan/path_source.h"
#include "tools/scan/report.h"

namespace sondrel::scan_tool {

class Progress {
 public:
  // `counter` walks the same paths to count them; null when they cannot be walked twice.
  Progress(std::ostream& err, Report& report, std::unique_ptr<PathSource> counter);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Under the report's lock: clears the line, which the next redraw brings back.
  void Clear();

 private:
  void Draw();
  void Count(std::unique_ptr<PathSource> counter);

  std::ostream& err_;
  Report& report_;
  const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  std::atomic<bool> counted_{false};
  std::atomic<uint64_t> totalFiles_{0};
  std::atomic<uint64_t> totalBytes_{0};
  std::atomic<bool> stopping_{false};
  bool shown_ = false;  // under the report's lock
  std::mutex wakeMutex_;
  std::condition_variable wake_;
  std::thread counter_;
  std::thread drawer_;
};

}  // namespace sondrel::scan_tool
