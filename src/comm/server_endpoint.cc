#include "comm/server_endpoint.h"

#include <utility>

#include "comm/request_result.h"
#include "comm/server_endpoint_send.h"
#include "comm/server_state.h"
#include "comm/sock_comm_session.h"
#include "comm/sock_thread_channel.h"

namespace sondrel {

ServerEndpoint::ServerEndpoint(std::shared_ptr<SockCommSession> session,
                               std::shared_ptr<SockThreadChannel> specialChannel)
    : session_(std::move(session)),
      specialChannel_(std::move(specialChannel)),
      host_(session_ != nullptr ? session_->GetHost() : std::string()) {}

const char* ServerEndpoint::GetHostName() {
  return host_.c_str();
}

bool ServerEndpoint::GetServerVersion(uint32_t* version) {
  if (session_ == nullptr || version == nullptr || !session_->runningDataObtained()) {
    return false;
  }
  *version = static_cast<uint32_t>(session_->serverVersionMajor()) |
             static_cast<uint32_t>(session_->serverVersionMinor()) << 16;
  return true;
}

bool ServerEndpoint::GetServerId(ServerIdentity* identity) {
  if (session_ == nullptr || identity == nullptr || !session_->runningDataObtained()) {
    return false;
  }
  *identity = session_->serverRunningId();
  return true;
}

int32_t ServerEndpoint::GetState() {
  return session_ != nullptr ? session_->serverState().state : Server_Down;
}

int32_t ServerEndpoint::Send(MessageCallback handler, void* handlerContext, uint32_t messageType,
                             uint32_t messageKind, void* payload, uint32_t payloadLength,
                             int32_t timeoutMs) {
  if (specialChannel_ == nullptr) {
    return RequestResult::NotSent;
  }
  return SendOnSpecialChannel(session_.get(), *specialChannel_, handler, handlerContext,
                              messageType, messageKind, payload, payloadLength, timeoutMs);
}

}  // namespace sondrel
