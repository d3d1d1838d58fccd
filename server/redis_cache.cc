#include "server/redis_cache.h"

#include <charconv>
#include <memory>

#include "server/server_log.h"

namespace sondrel::server {
namespace {

constexpr std::string_view kScheme = "redis://";

std::string Hex(const std::array<uint8_t, 16>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

}  // namespace

std::optional<RedisAddress> ParseRedisUrl(const std::string& url) {
  if (!url.starts_with(kScheme)) {
    return std::nullopt;
  }
  std::string rest = url.substr(kScheme.size());
  if (!rest.empty() && rest.back() == '/') {
    rest.pop_back();
  }
  RedisAddress address;
  std::string port;
  if (rest.starts_with("[")) {
    const size_t close = rest.find(']');
    if (close == std::string::npos) {
      return std::nullopt;
    }
    address.host = rest.substr(1, close - 1);
    const std::string after = rest.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') {
        return std::nullopt;
      }
      port = after.substr(1);
    }
  } else {
    const size_t colon = rest.find(':');
    address.host = rest.substr(0, colon);
    if (colon != std::string::npos) {
      port = rest.substr(colon + 1);
      if (port.empty()) {
        return std::nullopt;
      }
    }
  }
  if (address.host.empty() || address.host.find_first_of("/@?#") != std::string::npos) {
    return std::nullopt;
  }
  if (!port.empty()) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (error != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) {
      return std::nullopt;
    }
    address.port = static_cast<uint16_t>(value);
  }
  return address;
}

std::string RedisEntryKey(const CacheKey& key, const std::string& databaseVersion) {
  return "sondrel:clean:" + databaseVersion + ":" + std::to_string(key.fileSize) + ":" +
         Hex(key.fingerprint);
}

std::string RedisEntryValue(const CacheKey& key, const std::string& databaseVersion) {
  return "clean size=" + std::to_string(key.fileSize) + " fingerprint=" + Hex(key.fingerprint) +
         " databases=" + databaseVersion;
}

std::string FormatRedisUrl(const RedisAddress& address) {
  const bool v6 = address.host.find(':') != std::string::npos;
  return std::string(kScheme) + (v6 ? "[" + address.host + "]" : address.host) + ":" +
         std::to_string(address.port);
}

RedisSharedCache::RedisSharedCache(RedisCacheSettings settings)
    : settings_(std::move(settings)), url_(FormatRedisUrl(settings_.address)) {
  std::string problem;
  endpoints_ = RedisConnection::Resolve(settings_.address, problem);
  if (endpoints_.empty()) {
    NoteUnusable(problem);
  }
}

std::unique_ptr<RedisConnection> RedisSharedCache::Take() {
  std::vector<boost::asio::ip::tcp::endpoint> endpoints;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Clock::now() < leftAloneUntil_) {
      return nullptr;
    }
    if (!idle_.empty()) {
      std::unique_ptr<RedisConnection> connection = std::move(idle_.back());
      idle_.pop_back();
      return connection;
    }
    endpoints = endpoints_;
  }
  std::string problem;
  if (endpoints.empty()) {
    endpoints = RedisConnection::Resolve(settings_.address, problem);
    if (endpoints.empty()) {
      NoteUnusable(problem);
      return nullptr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    endpoints_ = endpoints;
  }
  std::unique_ptr<RedisConnection> connection =
      RedisConnection::Open(endpoints, settings_.timeout, problem);
  if (connection == nullptr) {
    NoteUnusable(problem);
  }
  return connection;
}

RedisReplyPtr RedisSharedCache::Run(const std::vector<std::string>& arguments) {
  std::unique_ptr<RedisConnection> connection = Take();
  if (connection == nullptr) {
    return nullptr;
  }
  std::string problem;
  RedisReplyPtr reply = connection->Command(arguments, settings_.timeout, problem);
  if (reply == nullptr) {
    NoteUnusable(problem);
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (down_) {
    down_ = false;
    SERVER_INFO("shared cache " << url_ << " answers again");
  }
  idle_.push_back(std::move(connection));
  return reply;
}

void RedisSharedCache::NoteUnusable(const std::string& problem) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++failures_;
  leftAloneUntil_ = Clock::now() + settings_.retryAfter;
  idle_.clear();
  if (!down_) {
    down_ = true;
    SERVER_WARN("shared cache " << url_ << ": " << problem
                                << "; going on with the local cache only");
  }
}

void RedisSharedCache::NoteUnexpected(const std::string& what) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++failures_;
  if (!unexpectedLogged_) {
    unexpectedLogged_ = true;
    SERVER_WARN("shared cache " << url_ << ": " << what << "; such answers count as misses");
  }
}

bool RedisSharedCache::LookupClean(const CacheKey& key, const std::string& databaseVersion) {
  if (databaseVersion.empty()) {
    return false;
  }
  const RedisReplyPtr reply = Run({"GET", RedisEntryKey(key, databaseVersion)});
  if (reply == nullptr || reply->type == REDIS_REPLY_NIL) {
    return false;
  }
  const std::string expected = RedisEntryValue(key, databaseVersion);
  if (reply->type != REDIS_REPLY_STRING ||
      std::string_view(reply->str, reply->len) != std::string_view(expected)) {
    NoteUnexpected("an entry that is not the one asked for");
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  ++hits_;
  return true;
}

void RedisSharedCache::StoreClean(const CacheKey& key, const std::string& databaseVersion) {
  if (databaseVersion.empty()) {
    return;
  }
  const RedisReplyPtr reply =
      Run({"SET", RedisEntryKey(key, databaseVersion), RedisEntryValue(key, databaseVersion), "EX",
           std::to_string(settings_.expiry.count())});
  if (reply != nullptr && reply->type != REDIS_REPLY_STATUS) {
    NoteUnexpected("a store that was not acknowledged");
  }
}

uint64_t RedisSharedCache::hits() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return hits_;
}

uint64_t RedisSharedCache::failures() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failures_;
}

}  // namespace sondrel::server
