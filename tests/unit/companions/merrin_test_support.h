// What the response cache tests share: fingerprints that differ per number, and Merrin.so
// installed in a directory of its own with a settings file that keeps its cache in a temporary
// directory (never in the machine's own cache directory).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace sondrel::test {

using Fingerprint = std::array<uint8_t, 16>;

inline Fingerprint FingerprintOf(uint32_t n) {
  Fingerprint fingerprint{};
  for (size_t i = 0; i < 4; ++i) {
    fingerprint[i] = static_cast<uint8_t>(n >> (8 * i));
  }
  fingerprint[15] = 0x5A;
  return fingerprint;
}

// The settings file "Merrin.conf" that puts the cache in `cacheDirectory`, with more lines.
inline std::string MerrinSettings(const std::filesystem::path& cacheDirectory,
                                  std::string_view moreLines = {}) {
  return "directory = " + cacheDirectory.string() + "\n" + std::string(moreLines);
}

}  // namespace sondrel::test
