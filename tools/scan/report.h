// What sondrel-scan prints: a line per file in the habit of its peers ("PATH: OK",
// "PATH: THREAT FOUND", "PATH: ERROR reason"), or one JSON object per file (JSON Lines), then a
// summary; and the exit code that all of it comes to.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>

#include "tools/scan/file_result.h"

namespace sondrel::scan_tool {

struct ReportOptions {
  bool json = false;
  bool infectedOnly = false;
  bool disinfect = false;
};

struct Totals {
  uint64_t files = 0;  // scanned, whatever the outcome
  uint64_t infected = 0;
  uint64_t errors = 0;
  uint64_t notScanned = 0;
  uint64_t skipped = 0;
  uint64_t bytes = 0;  // of the files scanned
};

class Report {
 public:
  Report(std::ostream& out, std::ostream& err, ReportOptions options);

  // Called before anything is written, under the report's lock (the progress line clears itself).
  void SetBeforeWrite(std::function<void()> beforeWrite) { beforeWrite_ = std::move(beforeWrite); }

  // Thread-safe.
  void Add(const FileResult& result);
  // A problem of the whole run, on standard error (or in the JSON summary).
  void Fail(const std::string& message);
  Totals totals() const;
  std::mutex& lock() const { return mutex_; }

  void WriteSummary(std::chrono::steady_clock::duration elapsed);
  // 1 when something was found (even if errors occurred too), else 2 when any error occurred,
  // else 0.
  int ExitCode() const;

 private:
  void WriteLine(const FileResult& result);
  void WriteJson(const FileResult& result);
  int ExitCodeLocked() const;

  std::ostream& out_;
  std::ostream& err_;
  const ReportOptions options_;
  std::function<void()> beforeWrite_;
  mutable std::mutex mutex_;
  Totals totals_;
  bool failed_ = false;
  std::string failure_;
};

}  // namespace sondrel::scan_tool
