// The scan request (message 100): a 61-byte packed header, the name, a descriptor and the initial
// buffer, the result block, the host's option entries, the host's text and the profile value.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "scan/result_block.h"

namespace sondrel {

struct ScanRequestFields {
  int32_t action = 0;  // 0 for a scan, otherwise the disinfection action
  uint64_t fileSize = 0;
  bool fingerprintValid = false;
  std::array<uint8_t, 16> fingerprint{};
  bool cacheUsable = false;  // the server may answer from its cache
  int32_t processInfo = 0;
  bool cleanTraces = false;
  // The name sent, with its NUL; null sends no name.
  const char* name = nullptr;
  uint32_t nameLength = 0;
  bool strongFingerprint = false;
  std::span<const uint8_t> initialBuffer;  // the first bytes of the file, or none
  ResultBlock sentResultBlock;
  std::span<const uint8_t> optionEntries;  // the host's 16-byte option entries, sent unchanged
  std::span<const uint8_t> text;           // the host's text with its NUL, or none
  uint32_t profileValue = 0;
};

// The payload length for these fields, or nothing when it would not fit in 32 bits.
std::optional<uint32_t> ScanRequestLength(const ScanRequestFields& fields);
// Writes the payload into `payload`, which holds ScanRequestLength bytes. Addresses in the
// payload are those of this process: the name's, and that of the initial buffer inside `payload`.
void WriteScanRequest(uint8_t* payload, const ScanRequestFields& fields);

// The profile value of the host's 44-byte property record: the CRC-32 register over its bytes
// (reflected polynomial 0xEDB88320, initial value 0xFFFFFFFF, no final inversion).
uint32_t ProfileValue(std::span<const uint8_t, 44> record);
// What the host's option entries add to the profile value (XOR): the third word XOR the fourth of
// the first entry whose first word is 122 and whose second word is not 0; 0 without one.
uint32_t ProfileFromOptions(std::span<const uint8_t> optionEntries);

}  // namespace sondrel
