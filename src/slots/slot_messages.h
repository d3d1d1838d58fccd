// The slot messages' payloads in terms of slot identifiers, and the reading of a server's answer
// to an allocation.
#pragma once

#include <array>
#include <cstdint>

#include "protocol/comm_message.h"
#include "protocol/slot_records.h"
#include "slots/qx_guid.h"

namespace sondrel {

// The payload of a free and of a keep of `slotName`.
std::array<uint8_t, kSlotPayloadSize> SlotPayload(const QxGuid& slotName);
// The slot a server granted: the identifier in bytes 4 to 19 of an answer whose payloadLength is
// at least 20 and whose first u32 is 20. Any other answer grants nothing: the null identifier.
QxGuid GrantedSlot(const CommMessage& answer);

}  // namespace sondrel
