// The byte layout of a message on the wire. Every integer is little-endian; a frame is a 20-byte
// frame header, a 44-byte message header, the payload as sent and 4 zero bytes:
//
//   frame header   0 bodyLength  4 commVersion  8 compressed  12 compressedLength  16 frameReserved
//   message header 20 route (requestSeq, channelIndex)  28 conversationId  36 messageType
//                  40 messageKind  44 sendCount  48 payloadLength  52 headerReserved
//                  56 answerTimeoutMs  60 serverStatus
//   payload        64
//
// A received message is kept without its frame header, so the message header offsets below are
// relative to the start of the message header (offset 20 of the frame).
#pragma once

#include <cstddef>
#include <cstdint>

namespace sondrel::frame {

inline constexpr uint32_t kCommVersion = 2;

inline constexpr size_t kFrameHeaderSize = 20;
inline constexpr size_t kMessageHeaderSize = 44;
inline constexpr size_t kTrailerSize = 4;
// Bytes of a frame in front of the payload.
inline constexpr size_t kPayloadOffset = kFrameHeaderSize + kMessageHeaderSize;
// Bytes of a frame besides the payload: headers and trailer (68).
inline constexpr size_t kFrameOverhead = kPayloadOffset + kTrailerSize;
// Bytes of a body besides the payload: message header and trailer (48).
inline constexpr size_t kBodyOverhead = kMessageHeaderSize + kTrailerSize;

// Frame header, from the first byte of the frame.
inline constexpr size_t kBodyLength = 0;
inline constexpr size_t kCommVersionField = 4;
inline constexpr size_t kCompressed = 8;
inline constexpr size_t kCompressedLength = 12;
inline constexpr size_t kFrameReserved = 16;

// Message header, from the first byte of the message header.
inline constexpr size_t kRoute = 0;
inline constexpr size_t kRequestSeq = 0;
inline constexpr size_t kChannelIndex = 4;
inline constexpr size_t kConversationId = 8;
inline constexpr size_t kMessageType = 16;
inline constexpr size_t kMessageKind = 20;
inline constexpr size_t kSendCount = 24;
inline constexpr size_t kPayloadLength = 28;
inline constexpr size_t kHeaderReserved = 32;
inline constexpr size_t kAnswerTimeoutMs = 36;
inline constexpr size_t kServerStatus = 40;
inline constexpr size_t kPayload = kMessageHeaderSize;

// A message header offset as an offset from the first byte of the frame.
constexpr size_t InFrame(size_t messageHeaderOffset) {
  return kFrameHeaderSize + messageHeaderOffset;
}

}  // namespace sondrel::frame
