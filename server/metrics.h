// The server's counters, rendered in the Prometheus text format.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace sondrel::server {

// Gauges read at the moment of rendering.
struct MetricsGauges {
  size_t queued = 0;
  size_t running = 0;
  size_t cacheEntries = 0;
  uint32_t loadFlags = 0;
  uint64_t sharedCacheFailures = 0;
};

class Metrics {
 public:
  // One finished request: its outcome, how long it took and the bytes it pulled.
  void CountScan(const std::string& outcome, double seconds, uint64_t pulled, uint32_t reads);
  void SessionOpened() { ++sessionsOpened_; }
  void SessionClosed() { ++sessionsClosed_; }
  void ConnectionRefused() { ++connectionsClosedForCause_; }
  void CountReload(bool succeeded);

  std::string Render(const MetricsGauges& gauges) const;

  // Upper bounds of the scan time histogram, in seconds.
  static constexpr std::array<double, 10> kBuckets = {0.001, 0.005, 0.01, 0.05, 0.1,
                                                      0.5,   1,     5,    10,   60};

 private:
  mutable std::mutex mutex_;
  std::map<std::string, uint64_t> scansByOutcome_;
  std::array<uint64_t, kBuckets.size()> bucketCounts_{};
  uint64_t scanCount_ = 0;
  double scanSeconds_ = 0;
  uint64_t bytesPulled_ = 0;
  uint64_t readRequests_ = 0;
  uint64_t reloadsSucceeded_ = 0;
  uint64_t reloadsFailed_ = 0;
  std::atomic<uint64_t> sessionsOpened_{0};
  std::atomic<uint64_t> sessionsClosed_{0};
  std::atomic<uint64_t> connectionsClosedForCause_{0};
};

}  // namespace sondrel::server
