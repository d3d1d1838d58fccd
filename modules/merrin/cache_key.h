// The key of a cached response: file size, fingerprint and cache value in 28 fixed bytes (the
// numbers little-endian), so that two calls name the same entry exactly when all three agree.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace sondrel::merrin {

// The client's fingerprints are MD5 digests.
inline constexpr uint32_t kFingerprintLength = 16;
inline constexpr size_t kCacheKeySize = 8 + kFingerprintLength + 4;

using CacheKey = std::array<uint8_t, kCacheKeySize>;

// The key of the entry the arguments name, or nothing when they cannot name one file: a null
// size or fingerprint, or a fingerprint of any length other than 16 bytes. Every cache value is
// part of a key as it stands.
std::optional<CacheKey> MakeCacheKey(const uint64_t* fileSize, const uint8_t* fingerprint,
                                     uint32_t fingerprintLength, uint32_t cacheValue);

}  // namespace sondrel::merrin
