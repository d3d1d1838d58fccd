// The one way received bytes are read: little-endian loads from a span that refuse to go past its
// end. A load that does not fit returns nothing; it never reads outside the span.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "protocol/little_endian.h"

namespace sondrel {

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  size_t size() const { return bytes_.size(); }

  std::optional<uint16_t> U16At(size_t offset) const { return LoadAt<uint16_t>(offset); }
  std::optional<uint32_t> U32At(size_t offset) const { return LoadAt<uint32_t>(offset); }
  std::optional<int32_t> I32At(size_t offset) const { return LoadAt<int32_t>(offset); }
  std::optional<uint64_t> U64At(size_t offset) const { return LoadAt<uint64_t>(offset); }

  // Whether `count` bytes starting at `offset` are all present.
  bool Has(size_t offset, size_t count) const {
    return offset <= bytes_.size() && count <= bytes_.size() - offset;
  }
  // Exactly `count` bytes from `offset`, or nothing when they are not all present.
  std::optional<std::span<const uint8_t>> BytesAt(size_t offset, size_t count) const {
    if (!Has(offset, count)) {
      return std::nullopt;
    }
    return bytes_.subspan(offset, count);
  }
  // Up to `count` bytes from `offset`: as many of them as are present (possibly none).
  std::span<const uint8_t> ClampedBytesAt(size_t offset, size_t count) const {
    if (offset >= bytes_.size()) {
      return {};
    }
    const size_t available = bytes_.size() - offset;
    return bytes_.subspan(offset, count < available ? count : available);
  }

 private:
  template <typename T>
  std::optional<T> LoadAt(size_t offset) const {
    if (!Has(offset, sizeof(T))) {
      return std::nullopt;
    }
    return LoadLittleEndian<T>(bytes_.data() + offset);
  }

  std::span<const uint8_t> bytes_;
};

}  // namespace sondrel
