#include "slots/slot_messages.h"

#include <algorithm>

#include "comm/byte_reader.h"
#include "comm/little_endian.h"
#include "comm/received_message.h"

namespace sondrel {

std::array<uint8_t, kAllocationPayloadSize> AllocationPayload(bool force) {
  std::array<uint8_t, kAllocationPayloadSize> payload{};
  StoreLittleEndian<uint32_t>(payload.data(), kAllocationPayloadSize);
  StoreLittleEndian<uint32_t>(payload.data() + 4, force ? 1u : 0u);
  return payload;
}

std::array<uint8_t, kSlotPayloadSize> SlotPayload(const QxGuid& slotName) {
  std::array<uint8_t, kSlotPayloadSize> payload{};
  StoreLittleEndian<uint32_t>(payload.data(), kSlotPayloadSize);
  const ServerIdentity bytes = slotName.ToBytes();
  std::copy(bytes.begin(), bytes.end(), payload.begin() + 4);
  return payload;
}

QxGuid GrantedSlot(const CommMessage& answer) {
  const ReceivedMessage message(answer);
  if (message.payloadLength() < kSlotPayloadSize) {
    return QxGuid::Null();
  }
  // payload() holds only the bytes actually received, whatever payloadLength claims.
  const ByteReader payload(message.payload());
  const std::optional<std::span<const uint8_t>> slot = payload.BytesAt(4, 16);
  if (payload.U32At(0) != kSlotPayloadSize || !slot) {
    return QxGuid::Null();
  }
  ServerIdentity bytes;
  std::copy(slot->begin(), slot->end(), bytes.begin());
  return QxGuid::FromBytes(bytes);
}

}  // namespace sondrel
