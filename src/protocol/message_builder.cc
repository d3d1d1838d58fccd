#include "protocol/message_builder.h"

#include <zlib.h>

#include <cstring>
#include <limits>

#include "protocol/frame_layout.h"
#include "protocol/little_endian.h"
#include "protocol/payload_buffer.h"

namespace sondrel {
namespace {

// The longest payload as sent whose frame still fits the 32-bit `bodyLength`.
constexpr uint64_t kMaxSentPayloadLength =
    std::numeric_limits<uint32_t>::max() - frame::kFrameOverhead;

struct Compressed {
  CommMessagePtr message;
  uint32_t streamLength = 0;
};

bool ShouldCompress(uint32_t payloadLength, const CompressionSettings& compression) {
  return compression.level >= 0 && payloadLength > 0 && payloadLength > compression.minBytes &&
         compressBound(payloadLength) != 0;
}

// The payload compressed into offset 64 of a new frame-sized block; no message on any failure.
Compressed Compress(const uint8_t* payload, uint32_t payloadLength, int32_t level) {
  const uLong bound = compressBound(payloadLength);
  if (bound > kMaxSentPayloadLength) {
    return {};
  }
  uint8_t* block = AllocateBlock(bound + frame::kFrameOverhead, BlockFill::Zeroed);
  if (block == nullptr) {
    return {};
  }
  uLongf streamLength = bound;
  const int result =
      level == 0
          ? compress(block + frame::kPayloadOffset, &streamLength, payload, payloadLength)
          : compress2(block + frame::kPayloadOffset, &streamLength, payload, payloadLength, level);
  if (result != Z_OK) {
    ReleaseBlock(block);
    return {};
  }
  const size_t frameLength = streamLength + frame::kFrameOverhead;
  return {CommMessage::Adopt(block, frameLength), static_cast<uint32_t>(streamLength)};
}

void WriteHeaders(uint8_t* frameBytes, const OutgoingHeader& header, uint32_t sentLength,
                  bool compressed, uint32_t payloadLength) {
  using frame::InFrame;
  StoreLittleEndian<uint32_t>(frameBytes + frame::kBodyLength,
                              sentLength + static_cast<uint32_t>(frame::kBodyOverhead));
  StoreLittleEndian<uint32_t>(frameBytes + frame::kCommVersionField, frame::kCommVersion);
  StoreLittleEndian<uint32_t>(frameBytes + frame::kCompressed, compressed ? 1 : 0);
  StoreLittleEndian<uint32_t>(frameBytes + frame::kCompressedLength, compressed ? sentLength : 0);
  StoreLittleEndian<uint32_t>(frameBytes + InFrame(frame::kRequestSeq), header.requestSeq);
  StoreLittleEndian<int32_t>(frameBytes + InFrame(frame::kChannelIndex), header.channelIndex);
  StoreLittleEndian<uint64_t>(frameBytes + InFrame(frame::kConversationId), header.conversationId);
  StoreLittleEndian<uint32_t>(frameBytes + InFrame(frame::kMessageType), header.messageType);
  StoreLittleEndian<uint32_t>(frameBytes + InFrame(frame::kMessageKind), header.messageKind);
  StoreLittleEndian<uint32_t>(frameBytes + InFrame(frame::kSendCount), header.sendCount);
  StoreLittleEndian<uint32_t>(frameBytes + InFrame(frame::kPayloadLength), payloadLength);
  StoreLittleEndian<int32_t>(frameBytes + InFrame(frame::kAnswerTimeoutMs), header.answerTimeoutMs);
  StoreLittleEndian<uint32_t>(frameBytes + InFrame(frame::kServerStatus), header.serverStatus);
  // A buffer filled by its caller holds whatever was there before behind the payload.
  std::memset(frameBytes + frame::kPayloadOffset + sentLength, 0, frame::kTrailerSize);
}

}  // namespace

CommMessagePtr BuildMessage(const OutgoingHeader& header, void* payloadArgument,
                            uint32_t payloadLength, bool keepBuffer,
                            const CompressionSettings& compression) {
  auto* payload = static_cast<uint8_t*>(payloadArgument);
  // A buffer handed over is ours from here on: it ends up in the message or is freed.
  uint8_t* handedOver = keepBuffer ? nullptr : payload;
  if (payload == nullptr) {
    payloadLength = 0;
  } else if (payloadLength == 0) {
    payload = nullptr;
  }
  if (payloadLength > kMaxSentPayloadLength) {
    FreePayload(handedOver);
    return nullptr;
  }

  if (ShouldCompress(payloadLength, compression)) {
    Compressed compressed = Compress(payload, payloadLength, compression.level);
    if (compressed.message != nullptr) {
      FreePayload(handedOver);
      WriteHeaders(compressed.message->data(), header, compressed.streamLength, true,
                   payloadLength);
      return compressed.message;
    }
  }

  const size_t frameLength = size_t{payloadLength} + frame::kFrameOverhead;
  CommMessagePtr message;
  if (payload != nullptr && handedOver != nullptr) {
    message = CommMessage::Adopt(PayloadBlock(handedOver), frameLength);
  } else {
    message = CommMessage::Allocate(frameLength);
    if (message != nullptr && payload != nullptr) {
      std::memcpy(message->data() + frame::kPayloadOffset, payload, payloadLength);
    }
    // An empty buffer handed over carries nothing to send.
    FreePayload(handedOver);
  }
  if (message != nullptr) {
    WriteHeaders(message->data(), header, payloadLength, false, payloadLength);
  }
  return message;
}

}  // namespace sondrel
