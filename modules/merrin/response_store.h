// The response cache's store: (file size, fingerprint, cache value) entries, at most a fixed
// number of them; when full, the entry stored longest ago makes room. Lookups share a lock,
// stores take it alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <shared_mutex>
#include <span>
#include <unordered_map>

namespace sondrel::merrin {

class ResponseStore {
 public:
  // About 10 MiB of entries at most.
  static constexpr size_t kCapacity = 65536;
  // Longer fingerprints are neither stored nor found (the client's are 16 bytes).
  static constexpr size_t kMaxFingerprintLength = 32;

  explicit ResponseStore(size_t capacity = kCapacity);

  bool Contains(uint64_t fileSize, std::span<const uint8_t> fingerprint, uint32_t cacheValue) const;
  // Stores the entry as the newest one; an entry already stored becomes the newest again.
  void Store(uint64_t fileSize, std::span<const uint8_t> fingerprint, uint32_t cacheValue);
  void Clear();
  size_t size() const;

 private:
  struct Key {
    uint64_t fileSize = 0;
    uint32_t cacheValue = 0;
    uint32_t length = 0;
    std::array<uint8_t, kMaxFingerprintLength> fingerprint{};

    friend bool operator==(const Key&, const Key&) = default;
  };
  struct KeyHash {
    size_t operator()(const Key& key) const;
  };
  using Order = std::list<Key>;  // oldest first

  static bool MakeKey(uint64_t fileSize, std::span<const uint8_t> fingerprint, uint32_t cacheValue,
                      Key& key);

  const size_t capacity_;
  mutable std::shared_mutex mutex_;
  Order order_;
  std::unordered_map<Key, Order::iterator, KeyHash> entries_;
};

}  // namespace sondrel::merrin
