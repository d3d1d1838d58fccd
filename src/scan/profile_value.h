// The profile value a scan request carries: a digest of the host's profile record and of its
// option entries that lets the server and the local cache tell one host configuration from another.
#pragma once

#include <cstdint>
#include <span>

namespace sondrel {

// The profile value of the host's 44-byte property record: the CRC-32 register over its bytes
// (reflected polynomial 0xEDB88320, initial value 0xFFFFFFFF, no final inversion).
uint32_t ProfileValue(std::span<const uint8_t, 44> record);
// What the host's option entries add to the profile value (XOR): the third word XOR the fourth of
// the first entry whose first word is 122 and whose second word is not 0; 0 without one.
uint32_t ProfileFromOptions(std::span<const uint8_t> optionEntries);

}  // namespace sondrel
