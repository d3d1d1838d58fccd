#include "scan/profile_value.h"

#include <zlib.h>

#include "protocol/little_endian.h"

namespace sondrel {

uint32_t ProfileValue(std::span<const uint8_t, 44> record) {
  // zlib's CRC-32 is the complement of the register.
  return ~static_cast<uint32_t>(crc32(0L, record.data(), static_cast<uInt>(record.size())));
}

uint32_t ProfileFromOptions(std::span<const uint8_t> optionEntries) {
  constexpr uint32_t kProfileEntry = 122;
  for (size_t at = 0; at + 16 <= optionEntries.size(); at += 16) {
    const uint8_t* entry = optionEntries.data() + at;
    if (LoadLittleEndian<uint32_t>(entry) == kProfileEntry &&
        LoadLittleEndian<uint32_t>(entry + 4) != 0) {
      return LoadLittleEndian<uint32_t>(entry + 8) ^ LoadLittleEndian<uint32_t>(entry + 12);
    }
  }
  return 0;
}

}  // namespace sondrel
