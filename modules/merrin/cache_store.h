// A store of cached responses and the rules every store keeps: an entry is found only while it
// is younger than the maximum age, and a store of a key already present makes it the newest.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "cache_key.h"

namespace sondrel::merrin {

// Microseconds since 1970 on the machine's clock, which every process of the machine shares.
using Clock = std::function<uint64_t()>;
uint64_t SystemClock();

inline uint64_t ToMicros(std::chrono::seconds duration) {
  return static_cast<uint64_t>(std::chrono::microseconds(duration).count());
}

// Whether an entry stored at `stored` may still answer at `now`. An entry from the future (the
// clock was set back) answers nothing until it is stored again.
inline bool IsFresh(uint64_t stored, uint64_t now, uint64_t maxAge) {
  return stored <= now && now - stored < maxAge;
}
// Whether an entry has outlived the maximum age and can go.
inline bool IsExpired(uint64_t stored, uint64_t now, uint64_t maxAge) {
  return stored <= now && now - stored >= maxAge;
}

// Every operation may be called from many threads at once.
class CacheStore {
 public:
  virtual ~CacheStore() = default;

  // True when a fresh entry with this key is stored.
  virtual bool Contains(const CacheKey& key) = 0;
  // Stores the entry as the newest one; when the store is full the oldest entries make room.
  virtual void Store(const CacheKey& key) = 0;
};

}  // namespace sondrel::merrin
