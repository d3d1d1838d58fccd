#include "server/metrics.h"

#include <sstream>

namespace sondrel::server {

void Metrics::CountScan(const std::string& outcome, double seconds, uint64_t pulled,
                        uint32_t reads) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++scansByOutcome_[outcome];
  for (size_t i = 0; i < kBuckets.size(); ++i) {
    if (seconds <= kBuckets[i]) {
      ++bucketCounts_[i];
    }
  }
  ++scanCount_;
  scanSeconds_ += seconds;
  bytesPulled_ += pulled;
  readRequests_ += reads;
}

void Metrics::CountReload(bool succeeded) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++(succeeded ? reloadsSucceeded_ : reloadsFailed_);
}

std::string Metrics::Render(const MetricsGauges& gauges) const {
  std::ostringstream out;
  std::lock_guard<std::mutex> lock(mutex_);
  out << "# HELP sondrel_scans_total Requests answered, by outcome.\n"
         "# TYPE sondrel_scans_total counter\n";
  for (const auto& [outcome, count] : scansByOutcome_) {
    out << "sondrel_scans_total{outcome=\"" << outcome << "\"} " << count << "\n";
  }
  const auto hits = scansByOutcome_.find("cache-hit");
  out << "# HELP sondrel_cache_hits_total Requests answered from the server cache.\n"
         "# TYPE sondrel_cache_hits_total counter\n"
      << "sondrel_cache_hits_total " << (hits != scansByOutcome_.end() ? hits->second : 0) << "\n";
  const auto sharedHits = scansByOutcome_.find("shared-cache-hit");
  out << "# HELP sondrel_shared_cache_hits_total Requests answered from the shared cache.\n"
         "# TYPE sondrel_shared_cache_hits_total counter\n"
      << "sondrel_shared_cache_hits_total "
      << (sharedHits != scansByOutcome_.end() ? sharedHits->second : 0) << "\n"
      << "# HELP sondrel_shared_cache_failures_total Calls to the shared cache that failed or "
         "were answered with something else than an entry.\n"
         "# TYPE sondrel_shared_cache_failures_total counter\n"
      << "sondrel_shared_cache_failures_total " << gauges.sharedCacheFailures << "\n"
      << "# HELP sondrel_bytes_pulled_total File bytes received in answer to read requests.\n"
         "# TYPE sondrel_bytes_pulled_total counter\n"
      << "sondrel_bytes_pulled_total " << bytesPulled_ << "\n"
      << "# HELP sondrel_read_requests_total Read requests sent to clients.\n"
         "# TYPE sondrel_read_requests_total counter\n"
      << "sondrel_read_requests_total " << readRequests_ << "\n"
      << "# HELP sondrel_scan_seconds Time from a request's arrival to its answer.\n"
         "# TYPE sondrel_scan_seconds histogram\n";
  for (size_t i = 0; i < kBuckets.size(); ++i) {
    out << "sondrel_scan_seconds_bucket{le=\"" << kBuckets[i] << "\"} " << bucketCounts_[i] << "\n";
  }
  out << "sondrel_scan_seconds_bucket{le=\"+Inf\"} " << scanCount_ << "\n"
      << "sondrel_scan_seconds_sum " << scanSeconds_ << "\n"
      << "sondrel_scan_seconds_count " << scanCount_ << "\n"
      << "# HELP sondrel_sessions_opened_total Client connections accepted.\n"
         "# TYPE sondrel_sessions_opened_total counter\n"
      << "sondrel_sessions_opened_total " << sessionsOpened_.load() << "\n"
      << "# HELP sondrel_sessions Client connections open.\n"
         "# TYPE sondrel_sessions gauge\n"
      << "sondrel_sessions " << sessionsOpened_.load() - sessionsClosed_.load() << "\n"
      << "# HELP sondrel_connections_closed_for_cause_total Connections closed for a bad frame, "
         "a time-out or a full write queue.\n"
         "# TYPE sondrel_connections_closed_for_cause_total counter\n"
      << "sondrel_connections_closed_for_cause_total " << connectionsClosedForCause_.load() << "\n"
      << "# HELP sondrel_queue_depth Scans waiting for a worker.\n"
         "# TYPE sondrel_queue_depth gauge\n"
      << "sondrel_queue_depth " << gauges.queued << "\n"
      << "# HELP sondrel_scans_running Scans on a worker.\n"
         "# TYPE sondrel_scans_running gauge\n"
      << "sondrel_scans_running " << gauges.running << "\n"
      << "# HELP sondrel_cache_entries Entries in the server cache.\n"
         "# TYPE sondrel_cache_entries gauge\n"
      << "sondrel_cache_entries " << gauges.cacheEntries << "\n"
      << "# HELP sondrel_load_flags The load flags sent to clients.\n"
         "# TYPE sondrel_load_flags gauge\n"
      << "sondrel_load_flags " << gauges.loadFlags << "\n"
      << "# HELP sondrel_reloads_total Signature reloads, by result.\n"
         "# TYPE sondrel_reloads_total counter\n"
      << "sondrel_reloads_total{result=\"ok\"} " << reloadsSucceeded_ << "\n"
      << "sondrel_reloads_total{result=\"failed\"} " << reloadsFailed_ << "\n";
  return out.str();
}

}  // namespace sondrel::server
