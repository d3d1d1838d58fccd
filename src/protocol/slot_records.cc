#include "protocol/slot_records.h"

#include <algorithm>

#include "protocol/byte_reader.h"
#include "protocol/little_endian.h"

namespace sondrel {
namespace {

constexpr uint32_t kForceBit = 0x1;
constexpr size_t kSlotOffset = 4;

}  // namespace

std::array<uint8_t, kAllocationPayloadSize> AllocationPayload(bool force) {
  std::array<uint8_t, kAllocationPayloadSize> payload{};
  StoreLittleEndian<uint32_t>(payload.data(), kAllocationPayloadSize);
  StoreLittleEndian<uint32_t>(payload.data() + 4, force ? kForceBit : 0u);
  return payload;
}

std::optional<bool> ParseAllocation(std::span<const uint8_t> payload) {
  const ByteReader reader(payload);
  const auto flags = reader.U32At(4);
  if (reader.U32At(0) != kAllocationPayloadSize || !flags) {
    return std::nullopt;
  }
  return (*flags & kForceBit) != 0;
}

std::array<uint8_t, kSlotPayloadSize> SlotPayload(const SlotBytes& slot) {
  std::array<uint8_t, kSlotPayloadSize> payload{};
  StoreLittleEndian<uint32_t>(payload.data(), kSlotPayloadSize);
  std::copy(slot.begin(), slot.end(), payload.begin() + kSlotOffset);
  return payload;
}

std::optional<SlotBytes> ParseSlotPayload(std::span<const uint8_t> payload) {
  const ByteReader reader(payload);
  const auto slot = reader.BytesAt(kSlotOffset, std::tuple_size_v<SlotBytes>);
  if (reader.U32At(0) != kSlotPayloadSize || !slot) {
    return std::nullopt;
  }
  SlotBytes bytes;
  std::copy(slot->begin(), slot->end(), bytes.begin());
  return bytes;
}

}  // namespace sondrel
