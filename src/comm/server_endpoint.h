// The server endpoint of one pool session: the session and the special channel it shares with
// every other endpoint.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "comm/i_server_endpoint.h"

namespace sondrel {

class SockCommSession;
class SockThreadChannel;

class ServerEndpoint final : public IServerEndpoint {
 public:
  // Either may be null: an endpoint without a session answers as the interface says; without a
  // special channel nothing can be sent.
  ServerEndpoint(std::shared_ptr<SockCommSession> session,
                 std::shared_ptr<SockThreadChannel> specialChannel);
  ~ServerEndpoint() = default;
  ServerEndpoint(const ServerEndpoint&) = delete;
  ServerEndpoint& operator=(const ServerEndpoint&) = delete;

  const char* GetHostName() override;
  bool GetServerVersion(uint32_t* version) override;
  bool GetServerId(ServerIdentity* identity) override;
  int32_t GetState() override;
  int32_t Send(MessageCallback handler, void* handlerContext, uint32_t messageType,
               uint32_t messageKind, void* payload, uint32_t payloadLength,
               int32_t timeoutMs) override;

 private:
  const std::shared_ptr<SockCommSession> session_;
  const std::shared_ptr<SockThreadChannel> specialChannel_;
  const std::string host_;
};

}  // namespace sondrel
