// The function through which received messages leave the comm layer: hello answers from a
// session, and every message a server sends inside a conversation from a request channel.
#pragma once

#include "protocol/comm_message.h"

namespace sondrel {

// Called with the received record (read it with ReceivedMessage), the context registered with the
// function and the requester: the request key of the waiting request for a channel, null for a
// session's hello answer. The record stays valid for as long as the callee holds a reference.
using MessageCallback = void (*)(const CommMessagePtr& message, void* context, void* requester);

}  // namespace sondrel
