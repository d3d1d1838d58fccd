// The shared cache on Redis: one key per entry, "sondrel:clean:VERSION:SIZE:FINGERPRINT", whose
// value repeats the size, fingerprint and database version and is checked whole when read; it is
// written with an expiry. Connections are kept for the next call and made again after a failure.
//
// Every connect and every command with its reply takes at most `timeout`. After a failure
// (refused, reset, a reply that is not Redis's protocol or too long, a time-out) the store is left
// alone for `retryAfter`, so that a Redis that has gone costs the scans nothing; the failure is
// logged once, and so is the store answering again. The host name is resolved when the cache is
// made, and again (at most once per `retryAfter`) while it could not be.
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "server/redis_connection.h"
#include "server/shared_cache.h"

namespace sondrel::server {

// "redis://HOST:PORT", "redis://[V6]:PORT" or "redis://HOST" (port 6379).
std::optional<RedisAddress> ParseRedisUrl(const std::string& url);
std::string FormatRedisUrl(const RedisAddress& address);

struct RedisCacheSettings {
  RedisAddress address;
  std::chrono::milliseconds timeout{50};
  std::chrono::seconds expiry{7 * 24 * 3600};
  std::chrono::milliseconds retryAfter{2000};
};

// The key and the value of an entry.
std::string RedisEntryKey(const CacheKey& key, const std::string& databaseVersion);
std::string RedisEntryValue(const CacheKey& key, const std::string& databaseVersion);

class RedisSharedCache : public ISharedCache {
 public:
  explicit RedisSharedCache(RedisCacheSettings settings);

  bool LookupClean(const CacheKey& key, const std::string& databaseVersion) override;
  void StoreClean(const CacheKey& key, const std::string& databaseVersion) override;

  // For the metrics: lookups answered, and calls that failed or were answered with nonsense.
  uint64_t hits() const;
  uint64_t failures() const;

 private:
  using Clock = std::chrono::steady_clock;

  // Runs one command on a kept or new connection; null when the store is left alone, cannot be
  // reached or the command failed (which is noted).
  RedisReplyPtr Run(const std::vector<std::string>& arguments);
  std::unique_ptr<RedisConnection> Take();
  void NoteUnusable(const std::string& problem);
  void NoteUnexpected(const std::string& what);

  const RedisCacheSettings settings_;
  const std::string url_;
  mutable std::mutex mutex_;
  std::vector<boost::asio::ip::tcp::endpoint> endpoints_;
  std::vector<std::unique_ptr<RedisConnection>> idle_;
  Clock::time_point leftAloneUntil_{};
  bool down_ = false;
  bool unexpectedLogged_ = false;
  uint64_t hits_ = 0;
  uint64_t failures_ = 0;
};

}  // namespace sondrel::server
