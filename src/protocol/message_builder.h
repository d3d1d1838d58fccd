// Building an outgoing message: the argument normalisation, compression and buffer adoption of
// send_message, without the socket, so that the bytes can be checked on their own.
#pragma once

#include <cstdint>

#include "protocol/comm_message.h"

namespace sondrel {

// The message header fields that the sender chooses.
struct OutgoingHeader {
  uint32_t requestSeq = 0;
  int32_t channelIndex = 0;
  uint64_t conversationId = 0;
  uint32_t messageType = 0;
  uint32_t messageKind = 0;
  uint32_t sendCount = 0;
  int32_t answerTimeoutMs = 0;
  // The sender's load flags; a client sends 0.
  uint32_t serverStatus = 0;
};

// When and how payloads are compressed: only when `level` >= 0 and the payload is longer than
// `minBytes`; level 0 is zlib's default level.
struct CompressionSettings {
  int32_t level = 0;
  uint32_t minBytes = 0xFFFFFFFF;
};

// Builds one frame. With keepBuffer true the payload is copied and stays the caller's; with
// keepBuffer false a non-null payload must come from AllocPayload and is handed over: it becomes
// the message (headers written in front of it, no copy), or is freed when the payload goes out
// compressed or the message cannot be built. Returns null when the message cannot be built: the
// memory is not available, or the payload is too long for a frame's 32-bit lengths.
CommMessagePtr BuildMessage(const OutgoingHeader& header, void* payload, uint32_t payloadLength,
                            bool keepBuffer, const CompressionSettings& compression);

}  // namespace sondrel
