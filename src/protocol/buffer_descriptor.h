// File ranges in a scan conversation: the `BufferDescriptor` that every range carries, the
// server's read request (101) and the client's answer pieces (102), the server's write request
// (108) and the client's answer (109). Integers are little-endian; data follows its descriptor.
// Every length a peer announces is checked against the bytes that actually arrived.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sondrel {

// The largest piece of file data that one message carries; larger ranges travel in pieces.
inline constexpr uint32_t kMaxFilePiece = 1024 * 1024;
// The status of a piece of a read answer that more pieces follow.
inline constexpr int32_t kMorePiecesFollow = 234;

// Offset, requested count, data address, data length, status; the data follows it.
struct BufferDescriptor {
  static constexpr uint32_t kSize = 28;

  uint64_t offset = 0;
  uint32_t requestedCount = 0;
  uint64_t dataAddress = 0;
  uint32_t dataLength = 0;
  int32_t status = 0;

  void WriteTo(uint8_t* record) const;
};

// A descriptor with the data it announces, all of which arrived.
struct DescribedData {
  BufferDescriptor descriptor;
  std::span<const uint8_t> data;
};
using WriteRequest = DescribedData;
using ReadAnswerPiece = DescribedData;

// A read request: the range {offset, count}; the descriptor's other fields are zero.
std::array<uint8_t, BufferDescriptor::kSize> MakeReadRequest(uint64_t offset, uint32_t count);
// A read request's range: the descriptor, which must be all there.
std::optional<BufferDescriptor> ParseReadRequest(std::span<const uint8_t> payload);
// A piece of a read answer: the descriptor and its data, which must all be present.
std::optional<ReadAnswerPiece> ParseReadAnswer(std::span<const uint8_t> payload);

// A write request: the data to write at `offset`.
std::vector<uint8_t> MakeWriteRequest(uint64_t offset, std::span<const uint8_t> data);
// A write request: the range to write and the data, which must all be present.
std::optional<WriteRequest> ParseWriteRequest(std::span<const uint8_t> payload);
// A write answer: the descriptor, whose requested count is the bytes written and whose status is
// the host's result.
std::optional<BufferDescriptor> ParseWriteAnswer(std::span<const uint8_t> payload);

}  // namespace sondrel
