// The server cache: files known to be clean, keyed by their size and the client's fingerprint.
// An entry is valid only for the engine that produced it: Clear() empties the cache when the
// signatures change. An interface, so that a shared cache can stand beside the in-memory one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <unordered_map>

namespace sondrel::server {

struct CacheKey {
  uint64_t fileSize = 0;
  std::array<uint8_t, 16> fingerprint{};

  friend bool operator==(const CacheKey&, const CacheKey&) = default;
};

class IServerCache {
 public:
  virtual ~IServerCache() = default;
  // Whether the file is known clean under the engine of `generation`.
  virtual bool LookupClean(const CacheKey& key, uint64_t generation) = 0;
  // Records a clean result of a complete scan by the engine of `generation`.
  virtual void StoreClean(const CacheKey& key, uint64_t generation) = 0;
  virtual void Clear() = 0;
  virtual size_t size() const = 0;
};

// A bounded in-memory cache that forgets the least recently used entry first.
class LruServerCache : public IServerCache {
 public:
  explicit LruServerCache(size_t capacity) : capacity_(capacity) {}

  bool LookupClean(const CacheKey& key, uint64_t generation) override;
  void StoreClean(const CacheKey& key, uint64_t generation) override;
  void Clear() override;
  size_t size() const override;

 private:
  struct KeyHash {
    size_t operator()(const CacheKey& key) const;
  };
  struct Entry {
    CacheKey key;
    uint64_t generation;
  };

  const size_t capacity_;
  mutable std::mutex mutex_;
  std::list<Entry> entries_;  // most recently used first
  std::unordered_map<CacheKey, std::list<Entry>::iterator, KeyHash> index_;
};

}  // namespace sondrel::server
