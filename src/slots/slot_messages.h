// The payloads of the slot messages (allocate 112, free 113, keep 114) and the reading of a
// server's answer to an allocation. Integers are little-endian, identifiers most significant byte
// first.
#pragma once

#include <array>
#include <cstdint>

#include "comm/comm_message.h"
#include "slots/qx_guid.h"

namespace sondrel {

inline constexpr uint32_t kAllocationPayloadSize = 8;
inline constexpr uint32_t kSlotPayloadSize = 20;

// u32 size 8, u32 flags with bit 0 the force bit.
std::array<uint8_t, kAllocationPayloadSize> AllocationPayload(bool force);
// u32 size 20, then the slot's 16 bytes: the payload of a free and of a keep.
std::array<uint8_t, kSlotPayloadSize> SlotPayload(const QxGuid& slotName);
// The slot a server granted: the identifier in bytes 4 to 19 of an answer whose payloadLength is
// at least 20 and whose first u32 is 20. Any other answer grants nothing: the null identifier.
QxGuid GrantedSlot(const CommMessage& answer);

}  // namespace sondrel
