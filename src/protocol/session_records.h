// The small payloads of session-level messages: the ping's timestamp, which the server echoes,
// and the u32 code that an error answer (kind 4) or an ErrorReply carries.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "protocol/byte_reader.h"
#include "protocol/little_endian.h"

namespace sondrel {

inline constexpr size_t kPingPayloadSize = 8;
inline constexpr size_t kErrorCodeSize = 4;

// A ping carries a u64 timestamp: microseconds since 1400-01-01 00:00:00 UTC.
inline std::array<uint8_t, kPingPayloadSize> MakePing(uint64_t timestamp) {
  std::array<uint8_t, kPingPayloadSize> payload{};
  StoreLittleEndian(payload.data(), timestamp);
  return payload;
}

// The timestamp at the start of a ping or its echo; nothing when fewer than 8 bytes arrived.
inline std::optional<uint64_t> PingTimestamp(std::span<const uint8_t> payload) {
  return ByteReader(payload).U64At(0);
}

inline std::array<uint8_t, kErrorCodeSize> MakeErrorCode(uint32_t code) {
  std::array<uint8_t, kErrorCodeSize> payload{};
  StoreLittleEndian(payload.data(), code);
  return payload;
}

// The code of an error payload, which is exactly 4 bytes.
inline std::optional<uint32_t> ErrorCodeOf(std::span<const uint8_t> payload) {
  if (payload.size() != kErrorCodeSize) {
    return std::nullopt;
  }
  return LoadLittleEndian<uint32_t>(payload.data());
}

}  // namespace sondrel
