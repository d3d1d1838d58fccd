// A requester reduced to what it does with its channel: begin the request when the kind expects an
// answer, send the message with the channel's routing fields, wait. Inside a running request (from
// the channel's handler) the same call sends a reply without a new wait.
#pragma once

#include <cstdint>
#include <vector>

#include "comm/send_message.h"
#include "comm/sock_comm_session.h"
#include "comm/sock_thread_channel.h"
#include "protocol/message_codes.h"

namespace sondrel::test {

inline int32_t Request(SockCommSession& session, SockThreadChannel& channel, uint32_t messageType,
                       uint32_t messageKind, std::vector<uint8_t> payload, int32_t timeoutMs,
                       void* requestKey = nullptr) {
  const bool wait = MessageKind::ExpectsAnswer(messageKind) && channel.BeginRequest(requestKey);
  channel.IncrementSendCount();
  const int sent = send_message(
      session, channel.requestSeq(), channel.index(), channel.conversationId(), messageType,
      messageKind, payload.empty() ? nullptr : payload.data(),
      static_cast<uint32_t>(payload.size()), true, channel.sendCount(), wait ? timeoutMs : -1);
  if (!wait) {
    return sent;
  }
  if (sent != 0) {
    channel.AbandonRequest();
    return sent;
  }
  return channel.Wait(static_cast<uint64_t>(timeoutMs) * 1000);
}

}  // namespace sondrel::test
