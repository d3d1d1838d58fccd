#include "cache_key.h"

#include <algorithm>

namespace sondrel::merrin {

std::optional<CacheKey> MakeCacheKey(const uint64_t* fileSize, const uint8_t* fingerprint,
                                     uint32_t fingerprintLength, uint32_t cacheValue) {
  if (fileSize == nullptr || fingerprint == nullptr || fingerprintLength != kFingerprintLength) {
    return std::nullopt;
  }
  CacheKey key{};
  for (size_t i = 0; i < 8; ++i) {
    key[i] = static_cast<uint8_t>(*fileSize >> (8 * i));
  }
  std::copy(fingerprint, fingerprint + kFingerprintLength, key.begin() + 8);
  for (size_t i = 0; i < 4; ++i) {
    key[8 + kFingerprintLength + i] = static_cast<uint8_t>(cacheValue >> (8 * i));
  }
  return key;
}

}  // namespace sondrel::merrin
