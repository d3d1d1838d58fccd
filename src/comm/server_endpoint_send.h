// A request on the special channel (index -2) through one session: what a server endpoint's Send
// does for the slot logic. Endpoint requests share the special channel, so their callers make them
// one at a time.
#pragma once

#include <cstdint>

#include "comm/message_callback.h"

namespace sondrel {

class SockCommSession;
class SockThreadChannel;

// Sends `payload` (copied) on `channel` through `session` and, for kinds that expect an answer on
// a session that is not synchronous, waits up to `timeoutMs` for it; `handler` receives what the
// server sends meanwhile. Returns a RequestResult: NotSent without a session or when the message
// could not be sent, NotInitialised when the session is down or retired, the wait's result, or 0
// when the message was sent and no answer is awaited.
int32_t SendOnSpecialChannel(SockCommSession* session, SockThreadChannel& channel,
                             MessageCallback handler, void* handlerContext, uint32_t messageType,
                             uint32_t messageKind, void* payload, uint32_t payloadLength,
                             int32_t timeoutMs);

}  // namespace sondrel
