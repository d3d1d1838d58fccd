#include "protocol/buffer_descriptor.h"

#include <algorithm>

#include "protocol/byte_reader.h"
#include "protocol/little_endian.h"

namespace sondrel {
namespace {

BufferDescriptor ReadDescriptor(const ByteReader& reader) {
  BufferDescriptor descriptor;
  descriptor.offset = *reader.U64At(0);
  descriptor.requestedCount = *reader.U32At(8);
  descriptor.dataAddress = *reader.U64At(12);
  descriptor.dataLength = *reader.U32At(20);
  descriptor.status = *reader.I32At(24);
  return descriptor;
}

std::optional<BufferDescriptor> ParseDescriptor(std::span<const uint8_t> payload) {
  const ByteReader reader(payload);
  if (!reader.Has(0, BufferDescriptor::kSize)) {
    return std::nullopt;
  }
  return ReadDescriptor(reader);
}

std::optional<DescribedData> ParseDescribedData(std::span<const uint8_t> payload) {
  const ByteReader reader(payload);
  if (!reader.Has(0, BufferDescriptor::kSize)) {
    return std::nullopt;
  }
  const BufferDescriptor descriptor = ReadDescriptor(reader);
  const auto data = reader.BytesAt(BufferDescriptor::kSize, descriptor.dataLength);
  if (!data) {
    return std::nullopt;
  }
  return DescribedData{descriptor, *data};
}

}  // namespace

void BufferDescriptor::WriteTo(uint8_t* record) const {
  StoreLittleEndian(record, offset);
  StoreLittleEndian(record + 8, requestedCount);
  StoreLittleEndian(record + 12, dataAddress);
  StoreLittleEndian(record + 20, dataLength);
  StoreLittleEndian(record + 24, status);
}

std::array<uint8_t, BufferDescriptor::kSize> MakeReadRequest(uint64_t offset, uint32_t count) {
  std::array<uint8_t, BufferDescriptor::kSize> record{};
  BufferDescriptor{.offset = offset, .requestedCount = count}.WriteTo(record.data());
  return record;
}

std::optional<BufferDescriptor> ParseReadRequest(std::span<const uint8_t> payload) {
  return ParseDescriptor(payload);
}

std::optional<ReadAnswerPiece> ParseReadAnswer(std::span<const uint8_t> payload) {
  return ParseDescribedData(payload);
}

std::vector<uint8_t> MakeWriteRequest(uint64_t offset, std::span<const uint8_t> data) {
  std::vector<uint8_t> record(BufferDescriptor::kSize + data.size());
  const auto length = static_cast<uint32_t>(data.size());
  // The data's address is its offset in this record: a server's own addresses are nobody's
  // business, and the receiver ignores them.
  BufferDescriptor{.offset = offset,
                   .requestedCount = length,
                   .dataAddress = length != 0 ? BufferDescriptor::kSize : 0u,
                   .dataLength = length}
      .WriteTo(record.data());
  std::copy(data.begin(), data.end(), record.begin() + BufferDescriptor::kSize);
  return record;
}

std::optional<WriteRequest> ParseWriteRequest(std::span<const uint8_t> payload) {
  return ParseDescribedData(payload);
}

std::optional<BufferDescriptor> ParseWriteAnswer(std::span<const uint8_t> payload) {
  return ParseDescriptor(payload);
}

}  // namespace sondrel
