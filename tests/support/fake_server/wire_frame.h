// Frames as a scan server sees them, packed and parsed byte by byte from the protocol's tables.
// This code is the test's own reading of the format: it shares nothing with the library's
// framing code, so that a mistake made the same way on both sides cannot go unnoticed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sondrel::test {

// Every field of a frame, as it is or will be on the wire. Packing writes the fields exactly as
// they are, so a test can build frames whose lengths do not match their payload.
struct WireFrame {
  // Frame header.
  uint32_t bodyLength = 48;
  uint32_t commVersion = 2;
  uint32_t compressed = 0;
  uint32_t compressedLength = 0;
  uint32_t frameReserved = 0;
  // Message header.
  uint32_t requestSeq = 0;
  int32_t channelIndex = 0;
  uint64_t conversationId = 0;
  uint32_t messageType = 0;
  uint32_t messageKind = 0;
  uint32_t sendCount = 0;
  uint32_t payloadLength = 0;
  uint32_t headerReserved = 0;
  int32_t answerTimeoutMs = 0;
  uint32_t serverStatus = 0;
  // The payload as sent (the zlib stream when compressed) and the 4 bytes after it.
  std::vector<uint8_t> payload;
  uint32_t trailer = 0;

  uint64_t route() const;
  // The payload after decompression (as announced by payloadLength), or as sent.
  std::vector<uint8_t> PlainPayload() const;
};

// A well-formed uncompressed frame carrying `payload`.
WireFrame PlainFrame(uint32_t messageType, uint32_t messageKind, std::vector<uint8_t> payload);
// A well-formed frame carrying `plain` as a zlib stream made with zlib's default level.
WireFrame CompressedFrame(uint32_t messageType, uint32_t messageKind,
                          const std::vector<uint8_t>& plain);

// The frame's bytes: 20-byte frame header, 44-byte message header, payload, trailer.
std::vector<uint8_t> PackFrame(const WireFrame& frame);
// Only the 20-byte frame header.
std::vector<uint8_t> PackFrameHeader(const WireFrame& frame);
// Parses a whole frame (header, body of bodyLength bytes); nothing when the bytes do not hold
// one exactly.
std::optional<WireFrame> ParseFrame(std::span<const uint8_t> bytes);

// zlib's one-shot compression of `plain`, at zlib's default level unless a level is given.
std::vector<uint8_t> ZlibCompress(std::span<const uint8_t> plain, int level = -1);

}  // namespace sondrel::test
