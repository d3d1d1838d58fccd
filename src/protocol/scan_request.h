// The scan request (message 100): a 61-byte packed header, the name, a descriptor and the initial
// buffer, the result block, the host's option entries, the host's text and the profile value.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "protocol/result_block.h"

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

// A scan request as a server reads it. Every span lies inside the payload it was read from; the
// addresses the client wrote are not kept.
struct ReceivedScanRequest {
  int32_t action = 0;
  uint64_t fileSize = 0;
  bool fingerprintValid = false;
  std::array<uint8_t, 16> fingerprint{};
  bool cacheUsable = false;
  int32_t processInfo = 0;
  bool cleanTraces = false;
  bool strongFingerprint = false;
  std::span<const uint8_t> extra;
  // The name as sent, with its NUL when it has one.
  std::span<const uint8_t> name;
  // The initial buffer and the file offset it starts at.
  uint64_t initialOffset = 0;
  std::span<const uint8_t> initialBuffer;
  ResultBlock sentResultBlock;
  std::span<const uint8_t> optionEntries;  // whole 16-byte entries
  std::span<const uint8_t> text;
  uint32_t profileValue = 0;

  // The name up to its first NUL.
  std::string NameText() const;
};

struct ScanRequestParse {
  std::optional<ReceivedScanRequest> request;
  // Why the payload is not a scan request, when it is not.
  const char* problem = nullptr;
};
// Reads the payload field by field; each length is checked against the bytes that remain, and
// the fields must fill the payload exactly.
ScanRequestParse ParseScanRequest(std::span<const uint8_t> payload);

}  // namespace sondrel
