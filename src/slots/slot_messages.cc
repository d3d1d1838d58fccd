#include "slots/slot_messages.h"

#include "protocol/received_message.h"

namespace sondrel {

std::array<uint8_t, kSlotPayloadSize> SlotPayload(const QxGuid& slotName) {
  return SlotPayload(SlotBytes(slotName.ToBytes()));
}

QxGuid GrantedSlot(const CommMessage& answer) {
  const ReceivedMessage message(answer);
  if (message.payloadLength() < kSlotPayloadSize) {
    return QxGuid::Null();
  }
  // payload() holds only the bytes actually received, whatever payloadLength claims.
  const std::optional<SlotBytes> slot = ParseSlotPayload(message.payload());
  return slot ? QxGuid::FromBytes(*slot) : QxGuid::Null();
}

}  // namespace sondrel
