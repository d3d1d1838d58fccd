// The response cache kept in this process's memory only: at most a fixed number of entries;
// when full, the entry stored longest ago makes room. Lookups share a lock, stores take it alone.
// It serves when the cache directory cannot be used, and is gone when the process ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <shared_mutex>
#include <unordered_map>

#include "cache_store.h"

namespace sondrel::merrin {

class MemoryStore final : public CacheStore {
 public:
  // About 10 MiB of entries at most.
  static constexpr size_t kCapacity = 65536;

  MemoryStore(size_t capacity, std::chrono::seconds maxAge, Clock clock);

  bool Contains(const CacheKey& key) override;
  void Store(const CacheKey& key) override;
  size_t size() const;

 private:
  struct Entry {
    CacheKey key;
    uint64_t stored;
  };
  struct KeyHash {
    size_t operator()(const CacheKey& key) const;
  };
  using Order = std::list<Entry>;  // in the order of storing, oldest first

  const size_t capacity_;
  const uint64_t maxAge_;
  const Clock clock_;
  mutable std::shared_mutex mutex_;
  Order order_;
  std::unordered_map<CacheKey, Order::iterator, KeyHash> entries_;
};

}  // namespace sondrel::merrin
