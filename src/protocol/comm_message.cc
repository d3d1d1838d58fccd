#include "protocol/comm_message.h"

#include <cstdlib>
#include <new>

namespace sondrel {

CommMessagePtr CommMessage::Allocate(size_t size) {
  // calloc(0) may return null; a message always has a block.
  auto* block = static_cast<uint8_t*>(std::calloc(size == 0 ? 1 : size, 1));
  if (block == nullptr) {
    return nullptr;
  }
  return Adopt(block, size);
}

CommMessagePtr CommMessage::Adopt(uint8_t* block, size_t size) {
  try {
    return std::make_shared<CommMessage>(Token{}, block, size);
  } catch (const std::bad_alloc&) {
    std::free(block);
    return nullptr;
  }
}

CommMessage::~CommMessage() {
  std::free(block_);
}

}  // namespace sondrel
