// The local store of clean verdicts keyed by file fingerprint, as the scan code uses it. The
// client core puts the loaded response cache behind it; it is called from many requesting threads
// at once.
#pragma once

#include <cstdint>
#include <span>

namespace sondrel {

class ILocalResponseCache {
 public:
  virtual ~ILocalResponseCache() = default;
  // Whether an entry with this size, fingerprint and value is stored.
  virtual bool Lookup(uint64_t fileSize, std::span<const uint8_t> fingerprint,
                      uint32_t cacheValue) = 0;
  virtual void Store(uint64_t fileSize, std::span<const uint8_t> fingerprint,
                     uint32_t cacheValue) = 0;
};

}  // namespace sondrel
