// Payload buffers with headroom: the payload is prepared directly where it will sit inside a
// message, so that send_message can adopt the buffer and write the headers in front of it instead
// of copying the payload.
#pragma once

#include <cstdint>

namespace sondrel {

// A zeroed buffer of length + 68 bytes with `payloadLength` (offset 48) set to length; returns the
// address of its payload (offset 64), or null when the memory is not available.
uint8_t* AllocPayload(uint32_t length);
// Frees a buffer given the payload address that AllocPayload returned; null is ignored.
void FreePayload(uint8_t* payload);

// The start of the buffer whose payload address AllocPayload returned.
uint8_t* PayloadBlock(uint8_t* payload);

}  // namespace sondrel
