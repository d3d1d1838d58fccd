#include "support/fake_server/wire_frame.h"

#include <zlib.h>

namespace sondrel::test {
namespace {

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value >> 16));
  out.push_back(static_cast<uint8_t>(value >> 24));
}

void Put64(std::vector<uint8_t>& out, uint64_t value) {
  Put32(out, static_cast<uint32_t>(value));
  Put32(out, static_cast<uint32_t>(value >> 32));
}

uint32_t Get32(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 |
         static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

uint64_t Get64(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<uint64_t>(Get32(bytes, offset)) |
         static_cast<uint64_t>(Get32(bytes, offset + 4)) << 32;
}

}  // namespace

uint64_t WireFrame::route() const {
  return static_cast<uint64_t>(static_cast<uint32_t>(channelIndex)) << 32 | requestSeq;
}

std::vector<uint8_t> WireFrame::PlainPayload() const {
  if (compressed == 0) {
    return payload;
  }
  std::vector<uint8_t> plain(payloadLength);
  uLongf length = payloadLength;
  if (uncompress(plain.data(), &length, payload.data(), payload.size()) != Z_OK) {
    return {};
  }
  plain.resize(length);
  return plain;
}

WireFrame PlainFrame(uint32_t messageType, uint32_t messageKind, std::vector<uint8_t> payload) {
  WireFrame frame;
  frame.messageType = messageType;
  frame.messageKind = messageKind;
  frame.payloadLength = static_cast<uint32_t>(payload.size());
  frame.bodyLength = 48 + frame.payloadLength;
  frame.payload = std::move(payload);
  return frame;
}

WireFrame CompressedFrame(uint32_t messageType, uint32_t messageKind,
                          const std::vector<uint8_t>& plain) {
  WireFrame frame = PlainFrame(messageType, messageKind, ZlibCompress(plain));
  frame.compressed = 1;
  frame.compressedLength = static_cast<uint32_t>(frame.payload.size());
  frame.payloadLength = static_cast<uint32_t>(plain.size());
  return frame;
}

std::vector<uint8_t> PackFrameHeader(const WireFrame& frame) {
  std::vector<uint8_t> out;
  Put32(out, frame.bodyLength);
  Put32(out, frame.commVersion);
  Put32(out, frame.compressed);
  Put32(out, frame.compressedLength);
  Put32(out, frame.frameReserved);
  return out;
}

std::vector<uint8_t> PackFrame(const WireFrame& frame) {
  std::vector<uint8_t> out = PackFrameHeader(frame);
  Put32(out, frame.requestSeq);
  Put32(out, static_cast<uint32_t>(frame.channelIndex));
  Put64(out, frame.conversationId);
  Put32(out, frame.messageType);
  Put32(out, frame.messageKind);
  Put32(out, frame.sendCount);
  Put32(out, frame.payloadLength);
  Put32(out, frame.headerReserved);
  Put32(out, static_cast<uint32_t>(frame.answerTimeoutMs));
  Put32(out, frame.serverStatus);
  out.insert(out.end(), frame.payload.begin(), frame.payload.end());
  Put32(out, frame.trailer);
  return out;
}

std::optional<WireFrame> ParseFrame(std::span<const uint8_t> bytes) {
  if (bytes.size() < 68 || Get32(bytes, 0) != bytes.size() - 20) {
    return std::nullopt;
  }
  WireFrame frame;
  frame.bodyLength = Get32(bytes, 0);
  frame.commVersion = Get32(bytes, 4);
  frame.compressed = Get32(bytes, 8);
  frame.compressedLength = Get32(bytes, 12);
  frame.frameReserved = Get32(bytes, 16);
  frame.requestSeq = Get32(bytes, 20);
  frame.channelIndex = static_cast<int32_t>(Get32(bytes, 24));
  frame.conversationId = Get64(bytes, 28);
  frame.messageType = Get32(bytes, 36);
  frame.messageKind = Get32(bytes, 40);
  frame.sendCount = Get32(bytes, 44);
  frame.payloadLength = Get32(bytes, 48);
  frame.headerReserved = Get32(bytes, 52);
  frame.answerTimeoutMs = static_cast<int32_t>(Get32(bytes, 56));
  frame.serverStatus = Get32(bytes, 60);
  frame.payload.assign(bytes.begin() + 64, bytes.end() - 4);
  frame.trailer = Get32(bytes, bytes.size() - 4);
  return frame;
}

std::vector<uint8_t> ZlibCompress(std::span<const uint8_t> plain, int level) {
  std::vector<uint8_t> stream(compressBound(plain.size()));
  uLongf length = stream.size();
  if (compress2(stream.data(), &length, plain.data(), plain.size(), level) != Z_OK) {
    return {};
  }
  stream.resize(length);
  return stream;
}

}  // namespace sondrel::test
