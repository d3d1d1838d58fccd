// The payloads of the slot messages on the special channel: an allocation request (112) and the
// slot a server grants in answer, a free (113) and a keep (114). Integers are little-endian; a
// slot identifier travels as 16 bytes, most significant first.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace sondrel {

using SlotBytes = std::array<uint8_t, 16>;

inline constexpr uint32_t kAllocationPayloadSize = 8;
inline constexpr uint32_t kSlotPayloadSize = 20;

// u32 size 8, u32 flags with bit 0 the force bit.
std::array<uint8_t, kAllocationPayloadSize> AllocationPayload(bool force);
// The force bit of an allocation request whose size word is 8 and whose 8 bytes all arrived.
std::optional<bool> ParseAllocation(std::span<const uint8_t> payload);

// u32 size 20, then the slot's 16 bytes: the payload of a grant, a free and a keep.
std::array<uint8_t, kSlotPayloadSize> SlotPayload(const SlotBytes& slot);
// The slot of a payload whose size word is 20 and whose 20 bytes all arrived.
std::optional<SlotBytes> ParseSlotPayload(std::span<const uint8_t> payload);

}  // namespace sondrel
