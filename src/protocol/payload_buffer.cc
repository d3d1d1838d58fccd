#include "protocol/payload_buffer.h"

#include <cstddef>
#include <cstdlib>
#include <limits>

#include "protocol/frame_layout.h"
#include "protocol/little_endian.h"

namespace sondrel {

uint8_t* AllocPayload(uint32_t length) {
  if constexpr (sizeof(size_t) <= sizeof(uint32_t)) {
    if (length > std::numeric_limits<size_t>::max() - frame::kFrameOverhead) {
      return nullptr;
    }
  }
  auto* block = static_cast<uint8_t*>(std::calloc(size_t{length} + frame::kFrameOverhead, 1));
  if (block == nullptr) {
    return nullptr;
  }
  StoreLittleEndian<uint32_t>(block + frame::InFrame(frame::kPayloadLength), length);
  return block + frame::kPayloadOffset;
}

void FreePayload(uint8_t* payload) {
  if (payload != nullptr) {
    std::free(PayloadBlock(payload));
  }
}

uint8_t* PayloadBlock(uint8_t* payload) {
  return payload - frame::kPayloadOffset;
}

}  // namespace sondrel
