#include "comm/server_endpoint_send.h"

#include "comm/request_result.h"
#include "comm/send_message.h"
#include "comm/sock_comm_session.h"
#include "comm/sock_thread_channel.h"
#include "protocol/message_codes.h"

namespace sondrel {

int32_t SendOnSpecialChannel(SockCommSession* session, SockThreadChannel& channel,
                             MessageCallback handler, void* handlerContext, uint32_t messageType,
                             uint32_t messageKind, void* payload, uint32_t payloadLength,
                             int32_t timeoutMs) {
  if (session == nullptr) {
    return RequestResult::NotSent;
  }
  const int32_t state = session->serverState().state;
  if (state == Server_Down || state == Server_Retired) {
    return RequestResult::NotInitialised;
  }
  channel.SetHandler(handler, handlerContext);
  channel.IncrementSendCount();
  // A request that waits goes out with sendCount 0: BeginRequest starts the count again.
  const bool wait = !session->syncMode() && MessageKind::ExpectsAnswer(messageKind) &&
                    channel.BeginRequest(nullptr);
  int32_t result = send_message(*session, channel.requestSeq(), kSpecialChannelIndex,
                                channel.conversationId(), messageType, messageKind, payload,
                                payloadLength, true, channel.sendCount(), wait ? timeoutMs : -1);
  if (wait) {
    if (result == 0) {
      result = channel.Wait(static_cast<uint64_t>(timeoutMs) * 1000);
    } else {
      channel.AbandonRequest();
    }
  }
  channel.SetHandler(nullptr, nullptr);
  return result;
}

}  // namespace sondrel
