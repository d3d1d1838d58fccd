// The comm client's request channels and the requests sent on them: the binding of each channel
// to the session that serves it, and the single failover of a scan request whose server fails.
#include <cstdint>
#include <limits>
#include <utility>

#include "comm/request_result.h"
#include "comm/send_message.h"
#include "comm/server_state.h"
#include "comm/session_pool.h"
#include "comm/sock_comm_client.h"
#include "comm/sock_comm_session.h"
#include "comm/sock_thread_channel.h"
#include "protocol/message_codes.h"
#include "protocol/payload_buffer.h"

namespace sondrel {
namespace {

// Results up to this value end a request; above it the server has failed the request.
constexpr uint32_t kLastRequestOutcome = 7;

// A negative time-out waits as long as a channel can.
uint64_t WaitMicroseconds(int32_t timeoutMs) {
  return timeoutMs < 0 ? std::numeric_limits<uint64_t>::max()
                       : static_cast<uint64_t>(timeoutMs) * 1000;
}

}  // namespace

int32_t SockCommClient::AcquireChannel() {
  const CommClientOptions options = ActiveOptions();
  const SessionPtr chosen = options.poolMode ? nullptr : SelectBestSession(Server_Down);
  return channels_.AcquireChannel(chosen, options.helloCallback, options.callbackContext, [this] {
    pool_.Locked([this](const SessionPool::Sessions& sessions) {
      for (const SessionPtr& session : sessions) {
        session->SetChannels(&channels_);
      }
    });
  });
}

void SockCommClient::ReleaseChannel(int32_t channelIndex) {
  channels_.ReleaseChannel(channelIndex);
}

std::shared_ptr<SockThreadChannel> SockCommClient::GetChannel(int32_t index,
                                                              const SockCommSession* session) {
  return channels_.GetChannel(index, session);
}

void SockCommClient::WakePoolManager() {
  control_.poolChanged.store(true);
  control_.wakeEvent.Signal();
}

int32_t SockCommClient::SendRequest(void* requestKey, int32_t channelIndex, uint32_t messageType,
                                    uint32_t messageKind, void* payload, uint32_t payloadLength,
                                    int32_t timeoutMs, bool callerKeepsPayload) {
  if (!control_.firstPassDone.load()) {
    return RequestResult::NotInitialised;
  }
  if (control_.stopping.load()) {
    return RequestResult::Stopping;
  }
  auto* handedOver = callerKeepsPayload ? nullptr : static_cast<uint8_t*>(payload);
  SessionPtr session = channels_.BoundSession(channelIndex);
  const std::shared_ptr<SockThreadChannel> channel = channels_.At(channelIndex);
  if (channel == nullptr) {
    sondrel::FreePayload(handedOver);
    return RequestResult::NoChannel;
  }
  if (messageType == MessageType::ScanRequest || messageKind == MessageKind::Request) {
    // A request that opens a conversation goes to the best session; while the servers are being
    // reloaded, retired sessions still serve.
    const int32_t cutoff = control_.reloadRequested.load() ? kAnyStateCutoff : Server_Down;
    SessionPtr best = SelectBestSession(cutoff);
    if (best != session) {
      channels_.Bind(channelIndex, best);
      session = std::move(best);
    }
  }
  if (session == nullptr) {
    WakePoolManager();
    sondrel::FreePayload(handedOver);
    return RequestResult::NotSent;
  }

  // A scan request keeps its payload so that it can be sent again to another session.
  const bool retry = messageType == MessageType::ScanRequest && messageKind == MessageKind::Request;
  const bool keepBuffer = retry || callerKeepsPayload;
  int32_t attempts = 2;
  int32_t result = RequestResult::ServerDown;
  while (session != nullptr) {
    --attempts;
    if (session->serverState().state == Server_Down) {
      break;
    }
    const bool wait = !session->syncMode() && MessageKind::ExpectsAnswer(messageKind) &&
                      channel->BeginRequest(requestKey);
    channel->IncrementSendCount();
    const int sent =
        send_message(*session, channel->requestSeq(), channel->index(), channel->conversationId(),
                     messageType, messageKind, payload, payloadLength, keepBuffer,
                     channel->sendCount(), wait ? timeoutMs : -1);
    if (!keepBuffer) {
      // The message took the payload, or freed it when it could not be built.
      handedOver = nullptr;
    }
    if (sent == 0 && wait) {
      result = channel->Wait(WaitMicroseconds(timeoutMs));
    } else {
      if (wait) {
        channel->AbandonRequest();
      }
      result = sent;
    }
    if (!retry) {
      break;
    }
    if (result == RequestResult::TimedOut) {
      session->RecordRequestTimeout();
      break;
    }
    session->ClearTimeoutCount();
    if (static_cast<uint32_t>(result) <= kLastRequestOutcome) {
      break;
    }
    // Connection lost, not delivered, not sent, or the server's own failure: the server counts as
    // down and the request goes once more to another session, as a new request.
    session->SetServerState(Server_Down, true);
    WakePoolManager();
    if (attempts <= 0) {
      break;
    }
    SessionPtr other = SelectBestSession(Server_Down);
    if (other == session) {
      break;
    }
    channels_.Bind(channelIndex, other);
    session = std::move(other);
  }
  if (retry && session != nullptr) {
    // The next scan request chooses its session afresh.
    channels_.Bind(channelIndex, nullptr);
  }
  sondrel::FreePayload(handedOver);
  return result;
}

}  // namespace sondrel
