// The one operation through which every message is built and handed to a connection.
#pragma once

#include <cstdint>

namespace sondrel {

class CommSocketBase;

// Result of send_message when the connection's write reported an error or the message could not
// be built.
inline constexpr int kSendFailed = 10;

// Builds the message (compressed as the connection's compression settings say) and writes it:
// returns 0 when the connection accepted it (in synchronous mode: when it was written), else
// kSendFailed. With keepBuffer true the payload is copied and stays the caller's; with keepBuffer
// false a non-null payload from AllocPayload is handed over and sent in place, without a copy.
int send_message(CommSocketBase& session, uint32_t requestSeq, int32_t channelIndex,
                 uint64_t conversationId, uint32_t messageType, uint32_t messageKind, void* payload,
                 uint32_t payloadLength, bool keepBuffer, uint32_t sendCount,
                 int32_t answerTimeoutMs);

}  // namespace sondrel
