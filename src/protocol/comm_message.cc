#include "protocol/comm_message.h"

#include <new>

#include "protocol/payload_buffer.h"

namespace sondrel {

CommMessagePtr CommMessage::Allocate(size_t size) {
  uint8_t* block = AllocateBlock(size, BlockFill::Zeroed);
  if (block == nullptr) {
    return nullptr;
  }
  return Adopt(block, size);
}

CommMessagePtr CommMessage::AllocateForRead(size_t size) {
  uint8_t* block = AllocateBlock(size, BlockFill::Unset);
  if (block == nullptr) {
    return nullptr;
  }
  return Adopt(block, size);
}

CommMessagePtr CommMessage::Adopt(uint8_t* block, size_t size) {
  try {
    return std::make_shared<CommMessage>(Token{}, block, size);
  } catch (const std::bad_alloc&) {
    ReleaseBlock(block);
    return nullptr;
  }
}

CommMessage::~CommMessage() {
  ReleaseBlock(block_);
}

}  // namespace sondrel
