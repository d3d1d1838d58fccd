// The hello a session sends at every connect and what its answer carries.
//
// The hello record (292 bytes, little-endian, zero-filled): versionMajor u16 at 0, versionMinor
// u16 at 2, a reserved byte at 4, the engine version text (32 bytes, NUL-terminated) at 5 and the
// client's host name (255 bytes, NUL-terminated) at 37. The synchronous connect appends an 8-byte
// timestamp. The answer's payload starts with a u32 of flags; an answer of 299 bytes echoes the
// timestamp at offset 291.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sondrel::hello {

inline constexpr size_t kRecordSize = 292;
inline constexpr size_t kVersionMajorOffset = 0;
inline constexpr size_t kVersionMinorOffset = 2;
inline constexpr size_t kEngineVersionOffset = 5;
// The longest engine version text the record carries; the byte after it stays zero.
inline constexpr size_t kEngineVersionCapacity = 31;
inline constexpr size_t kHostNameOffset = 37;
// The longest host name the record carries; the byte after it stays zero.
inline constexpr size_t kHostNameCapacity = 254;
inline constexpr size_t kTimestampSize = 8;

inline constexpr size_t kEchoingAnswerSize = 299;
inline constexpr size_t kEchoedTimestampOffset = 291;

// The timestamp a synchronous connect appends after the record.
inline constexpr size_t kTimestampOffset = kRecordSize;

// Flags of the answer.
inline constexpr uint32_t kMajorVersionMismatch = 0x1;  // the server refuses the client
inline constexpr uint32_t kMinorVersionMismatch = 0x2;
inline constexpr uint32_t kEngineMajorMismatch = 0x4;
inline constexpr uint32_t kEngineMinorMismatch = 0x8;

// The client's versions.
inline constexpr uint16_t kClientVersionMajor = 3;
inline constexpr uint16_t kClientVersionMinor = 3;

// The hello record as a client builds it: zero-filled, the client's versions, and at most
// kEngineVersionCapacity bytes of `engineVersion` (up to its first NUL). The host name is left
// for each session to write.
std::vector<uint8_t> MakeRecord(std::string_view engineVersion);

// Writes at most kHostNameCapacity bytes of `name` (up to its first NUL) into the host name field
// of `record` (at least kRecordSize bytes) and zeroes the rest of those bytes. Returns the name
// as written.
std::string CopyHostName(std::span<uint8_t> record, std::string_view name);

// The answer's flag word: the payload's first u32, or 0 when the payload is shorter.
uint32_t AnswerFlags(std::span<const uint8_t> payload);

// A hello as a server reads it. Texts end at their first NUL or at the end of their field.
struct Hello {
  uint16_t versionMajor = 0;
  uint16_t versionMinor = 0;
  std::string engineVersion;
  std::string hostName;
  // The timestamp a synchronous connect appends, when the payload carries one.
  std::optional<uint64_t> timestamp;
};
// The hello in `payload`; nothing when the payload is shorter than the record.
std::optional<Hello> ParseHello(std::span<const uint8_t> payload);

// A server's answer: the flag word alone, or, when the hello carried a timestamp, the 299-byte
// form that echoes it.
std::vector<uint8_t> MakeAnswer(uint32_t flags, std::optional<uint64_t> echoedTimestamp);

}  // namespace sondrel::hello
