#include "scan/file_reader.h"

namespace sondrel {

std::optional<uint64_t> FileReader::GetSize() const {
  if (callbacks == nullptr || callbacks->getSize == nullptr) {
    return std::nullopt;
  }
  uint32_t low = 0;
  uint32_t high = 0;
  if (callbacks->getSize(&low, &high, callbacks->user) != 0) {
    return std::nullopt;
  }
  return (static_cast<uint64_t>(high) << 32) | low;
}

std::optional<uint32_t> FileReader::Read(uint64_t offset, uint32_t count, uint32_t position) {
  if (callbacks == nullptr || callbacks->read == nullptr || position > kBufferSize ||
      count > kBufferSize - position) {
    return std::nullopt;
  }
  const HostFileRange range{offset, count};
  uint32_t delivered = 0;
  if (callbacks->read(buffer.data() + position, &range, &delivered, callbacks->user) != 0 ||
      delivered == 0 || delivered > count) {
    return std::nullopt;
  }
  return delivered;
}

}  // namespace sondrel
