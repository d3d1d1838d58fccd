// Running-server data: what a client asks a server for after connecting, and the record the
// server answers with, its running identity and version.
//
// The request's payload is one u32 of value 4. The record (24 bytes, little-endian): u32 size
// (24), the 16-byte running identity (most significant byte first), u16 major, u16 minor.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "protocol/server_identity.h"

namespace sondrel::running_data {

inline constexpr uint32_t kRequestValue = 4;
inline constexpr size_t kRequestSize = 4;
inline constexpr uint32_t kRecordSize = 24;

struct RunningData {
  ServerIdentity id{};
  uint16_t versionMajor = 0;
  uint16_t versionMinor = 0;
};

std::array<uint8_t, kRequestSize> MakeRequest();
std::array<uint8_t, kRecordSize> MakeRecord(const RunningData& data);
// The record, when the payload holds all 24 bytes and its size field says 24.
std::optional<RunningData> ParseRecord(std::span<const uint8_t> payload);

}  // namespace sondrel::running_data
