#include "memory_store.h"

#include <algorithm>
#include <mutex>
#include <string_view>
#include <utility>

namespace sondrel::merrin {

MemoryStore::MemoryStore(size_t capacity, std::chrono::seconds maxAge, Clock clock)
    : capacity_(std::max<size_t>(capacity, 1)),
      maxAge_(ToMicros(maxAge)),
      clock_(std::move(clock)) {}

size_t MemoryStore::KeyHash::operator()(const CacheKey& key) const {
  return std::hash<std::string_view>()(
      std::string_view(reinterpret_cast<const char*>(key.data()), key.size()));
}

bool MemoryStore::Contains(const CacheKey& key) {
  const uint64_t now = clock_();
  std::shared_lock lock(mutex_);
  const auto found = entries_.find(key);
  return found != entries_.end() && IsFresh(found->second->stored, now, maxAge_);
}

void MemoryStore::Store(const CacheKey& key) {
  const uint64_t now = clock_();
  std::unique_lock lock(mutex_);
  while (!order_.empty() && IsExpired(order_.front().stored, now, maxAge_)) {
    entries_.erase(order_.front().key);
    order_.pop_front();
  }
  if (auto found = entries_.find(key); found != entries_.end()) {
    found->second->stored = now;
    order_.splice(order_.end(), order_, found->second);
    return;
  }
  if (entries_.size() >= capacity_) {
    entries_.erase(order_.front().key);
    order_.pop_front();
  }
  order_.push_back({key, now});
  try {
    entries_.emplace(key, std::prev(order_.end()));
  } catch (...) {
    order_.pop_back();
    throw;
  }
}

size_t MemoryStore::size() const {
  std::shared_lock lock(mutex_);
  return entries_.size();
}

}  // namespace sondrel::merrin
