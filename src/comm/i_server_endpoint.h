// A handle on one pool session for the slot logic: what the server is, and requests to it on the
// comm client's special channel. Endpoints are handed out by EnumerateEndpoints and are valid only
// during its callback; they are never deleted through this interface.
#pragma once

#include <cstdint>

#include "comm/message_callback.h"
#include "protocol/server_identity.h"

namespace sondrel {

class IServerEndpoint {
 public:
  // The session's host text; "" without a session.
  virtual const char* GetHostName() = 0;
  // Major version in the low 16 bits, minor in the high 16 bits; false until the server has sent
  // its running data.
  virtual bool GetServerVersion(uint32_t* version) = 0;
  // The server's running identity; false until the server has sent its running data.
  virtual bool GetServerId(ServerIdentity* identity) = 0;
  // The session's server state; Server_Down without a session.
  virtual int32_t GetState() = 0;
  // A request on the special channel (a RequestResult or the server's error code): it waits only
  // for kinds that expect an answer and only when the session is not synchronous; `handler`
  // receives what the server sends meanwhile.
  virtual int32_t Send(MessageCallback handler, void* handlerContext, uint32_t messageType,
                       uint32_t messageKind, void* payload, uint32_t payloadLength,
                       int32_t timeoutMs) = 0;

 protected:
  ~IServerEndpoint() = default;
};

}  // namespace sondrel
