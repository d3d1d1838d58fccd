#include "protocol/payload_buffer.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "protocol/frame_layout.h"
#include "protocol/little_endian.h"

namespace sondrel {
namespace {

// The recycled blocks: those handed out (so that a release can tell them from plain heap blocks,
// which tests and callers adopt as messages too) and those kept for the next request.
class BlockPool {
 public:
  uint8_t* Take() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!kept_.empty()) {
        uint8_t* block = kept_.back();
        kept_.pop_back();
        return block;
      }
    }
    auto* block = static_cast<uint8_t*>(std::malloc(kRecycledBlockSize));
    if (block == nullptr) {
      return nullptr;
    }
    try {
      std::lock_guard<std::mutex> lock(mutex_);
      issued_.insert(block);
    } catch (const std::bad_alloc&) {
      std::free(block);
      return nullptr;
    }
    return block;
  }

  // False when the block is not one of ours.
  bool Give(uint8_t* block) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = issued_.find(block);
    if (found == issued_.end()) {
      return false;
    }
    if (kept_.size() < kMostKeptBlocks) {
      kept_.push_back(block);
      return true;
    }
    issued_.erase(found);
    std::free(block);
    return true;
  }

  size_t kept() {
    std::lock_guard<std::mutex> lock(mutex_);
    return kept_.size();
  }

  BlockPool() { kept_.reserve(kMostKeptBlocks); }
  ~BlockPool() {
    for (uint8_t* block : kept_) {
      std::free(block);
    }
  }

 private:
  std::mutex mutex_;
  std::unordered_set<uint8_t*> issued_;
  std::vector<uint8_t*> kept_;
};

BlockPool& Pool() {
  // Destroyed when the library is unloaded or the program ends, after every thread that moves
  // messages has stopped, so that a host that unloads the library gets the kept blocks back.
  static BlockPool pool;
  return pool;
}

bool Recycled(size_t size) {
  return size > kSmallestRecycledBlock && size <= kRecycledBlockSize;
}

uint8_t* AllocatePayloadBlock(uint32_t length, BlockFill fill) {
  if constexpr (sizeof(size_t) <= sizeof(uint32_t)) {
    if (length > std::numeric_limits<size_t>::max() - frame::kFrameOverhead) {
      return nullptr;
    }
  }
  uint8_t* block = AllocateBlock(size_t{length} + frame::kFrameOverhead, fill);
  if (block == nullptr) {
    return nullptr;
  }
  if (fill == BlockFill::Unset) {
    std::memset(block, 0, frame::kPayloadOffset);
  }
  StoreLittleEndian<uint32_t>(block + frame::InFrame(frame::kPayloadLength), length);
  return block + frame::kPayloadOffset;
}

}  // namespace

uint8_t* AllocateBlock(size_t size, BlockFill fill) {
  if (Recycled(size)) {
    uint8_t* block = Pool().Take();
    if (block != nullptr && fill == BlockFill::Zeroed) {
      std::memset(block, 0, size);
    }
    return block;
  }
  // malloc(0) and calloc(0) may return null; a block always exists.
  const size_t bytes = size == 0 ? 1 : size;
  return static_cast<uint8_t*>(fill == BlockFill::Zeroed ? std::calloc(bytes, 1)
                                                         : std::malloc(bytes));
}

void ReleaseBlock(uint8_t* block) {
  if (block != nullptr && !Pool().Give(block)) {
    std::free(block);
  }
}

size_t KeptBlocks() {
  return Pool().kept();
}

uint8_t* AllocPayload(uint32_t length) {
  return AllocatePayloadBlock(length, BlockFill::Zeroed);
}

uint8_t* AllocPayloadForFill(uint32_t length) {
  return AllocatePayloadBlock(length, BlockFill::Unset);
}

void FreePayload(uint8_t* payload) {
  if (payload != nullptr) {
    ReleaseBlock(PayloadBlock(payload));
  }
}

uint8_t* PayloadBlock(uint8_t* payload) {
  return payload - frame::kPayloadOffset;
}

}  // namespace sondrel
