// One protocol message as one contiguous block of memory, under shared ownership so that a write
// queue or a reader can keep it alive as long as it needs it.
//
// An outgoing message is a whole frame: frame header, message header, payload, trailer. A received
// message is a record: message header, payload (decompressed when it arrived compressed), 4 zero
// bytes. The block comes from the C heap or from the recycled blocks of payload_buffer.h (here or
// in AllocPayload) and is released with ReleaseBlock, so a payload buffer with headroom can be
// adopted as a message without a copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace sondrel {

class CommMessage;
using CommMessagePtr = std::shared_ptr<CommMessage>;

class CommMessage {
  struct Token {};

 public:
  // A message of `size` zero bytes; null when the memory is not available.
  static CommMessagePtr Allocate(size_t size);
  // A message of `size` bytes left as they are, for a reader that fills every one of them (a
  // body that arrives short is never delivered).
  static CommMessagePtr AllocateForRead(size_t size);
  // Takes over `block`, a C-heap or recycled block of at least `size` bytes. On failure the block
  // is freed and null is returned, so ownership has passed in every case.
  static CommMessagePtr Adopt(uint8_t* block, size_t size);

  CommMessage(Token, uint8_t* block, size_t size) : block_(block), size_(size) {}
  ~CommMessage();
  CommMessage(const CommMessage&) = delete;
  CommMessage& operator=(const CommMessage&) = delete;

  uint8_t* data() { return block_; }
  const uint8_t* data() const { return block_; }
  size_t size() const { return size_; }
  std::span<const uint8_t> bytes() const { return {block_, size_}; }

 private:
  uint8_t* block_;
  size_t size_;
};

}  // namespace sondrel
