#include "server/server_cache.h"

#include <cstring>

namespace sondrel::server {

size_t LruServerCache::KeyHash::operator()(const CacheKey& key) const {
  uint64_t head = 0;
  std::memcpy(&head, key.fingerprint.data(), sizeof(head));
  return static_cast<size_t>(head ^ (key.fileSize * 0x9E3779B97F4A7C15ull));
}

bool LruServerCache::LookupClean(const CacheKey& key, uint64_t generation) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = index_.find(key);
  if (found == index_.end()) {
    return false;
  }
  if (found->second->generation != generation) {
    entries_.erase(found->second);
    index_.erase(found);
    return false;
  }
  entries_.splice(entries_.begin(), entries_, found->second);
  return true;
}

void LruServerCache::StoreClean(const CacheKey& key, uint64_t generation) {
  if (capacity_ == 0) {
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = index_.find(key);
  if (found != index_.end()) {
    found->second->generation = generation;
    entries_.splice(entries_.begin(), entries_, found->second);
    return;
  }
  if (entries_.size() >= capacity_) {
    index_.erase(entries_.back().key);
    entries_.pop_back();
  }
  entries_.push_front({key, generation});
  index_.emplace(key, entries_.begin());
}

void LruServerCache::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
  index_.clear();
}

size_t LruServerCache::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

}  // namespace sondrel::server
