#include "tools/scan/progress.h"

#include <cstdio>

namespace sondrel::scan_tool {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(250);
constexpr const char* kClearLine = "\r\x1b[K";

}  // namespace

Progress::Progress(std::ostream& err, Report& report, std::unique_ptr<PathSource> counter)
    : err_(err), report_(report) {
  if (counter != nullptr) {
    counter_ =
        std::thread([this, walker = std::move(counter)]() mutable { Count(std::move(walker)); });
  }
  drawer_ = std::thread([this] {
    std::unique_lock<std::mutex> lock(wakeMutex_);
    while (!wake_.wait_for(lock, kRedrawInterval, [this] { return stopping_.load(); })) {
      Draw();
    }
  });
}

Progress::~Progress() {
  stopping_.store(true);
  {
    std::lock_guard<std::mutex> lock(wakeMutex_);
    wake_.notify_all();
  }
  drawer_.join();
  if (counter_.joinable()) {
    counter_.join();
  }
  std::lock_guard<std::mutex> lock(report_.lock());
  Clear();
}

void Progress::Count(std::unique_ptr<PathSource> counter) {
  while (!stopping_.load()) {
    const std::optional<PathEntry> entry = counter->Next();
    if (!entry) {
      counted_.store(true);
      return;
    }
    if (entry->kind == PathEntry::Kind::File) {
      totalFiles_.fetch_add(1);
      totalBytes_.fetch_add(entry->size);
    }
  }
}

void Progress::Clear() {
  if (shown_) {
    err_ << kClearLine << std::flush;
    shown_ = false;
  }
}

void Progress::Draw() {
  const Totals done = report_.totals();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  const double rate = seconds > 0 ? static_cast<double>(done.bytes) / 1e6 / seconds : 0;
  char line[160];
  if (counted_.load()) {
    const uint64_t totalBytes = totalBytes_.load();
    const double left = rate > 0 && totalBytes > done.bytes
                            ? static_cast<double>(totalBytes - done.bytes) / 1e6 / rate
                            : 0;
    std::snprintf(line, sizeof(line), "%llu/%llu files, %.1f/%.1f MB, %.1f MB/s, %.0f s left",
                  static_cast<unsigned long long>(done.files + done.errors + done.notScanned),
                  static_cast<unsigned long long>(totalFiles_.load()),
                  static_cast<double>(done.bytes) / 1e6, static_cast<double>(totalBytes) / 1e6,
                  rate, left);
  } else {
    std::snprintf(line, sizeof(line), "%llu files, %.1f MB, %.1f MB/s (counting...)",
                  static_cast<unsigned long long>(done.files + done.errors + done.notScanned),
                  static_cast<double>(done.bytes) / 1e6, rate);
  }
  std::lock_guard<std::mutex> lock(report_.lock());
  err_ << kClearLine << line << std::flush;
  shown_ = true;
}

}  // namespace sondrel::scan_tool
