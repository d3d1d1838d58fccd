#include "comm/send_message.h"

#include <utility>

#include "comm/comm_socket_base.h"
#include "protocol/message_builder.h"

namespace sondrel {

int send_message(CommSocketBase& session, uint32_t requestSeq, int32_t channelIndex,
                 uint64_t conversationId, uint32_t messageType, uint32_t messageKind, void* payload,
                 uint32_t payloadLength, bool keepBuffer, uint32_t sendCount,
                 int32_t answerTimeoutMs) {
  const OutgoingHeader header{requestSeq,  channelIndex, conversationId, messageType,
                              messageKind, sendCount,    answerTimeoutMs};
  const CompressionSettings compression{session.compressionLevel(), session.compressionMinBytes()};
  CommMessagePtr message = BuildMessage(header, payload, payloadLength, keepBuffer, compression);
  if (message == nullptr) {
    return kSendFailed;
  }
  return session.write_message(std::move(message)) != 0 ? kSendFailed : 0;
}

}  // namespace sondrel
