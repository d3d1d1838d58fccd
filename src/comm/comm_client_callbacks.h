// The functions through which the comm client calls its owner, each registered as an option with
// the context it is called with. The hello and conversation messages use MessageCallback.
#pragma once

#include <cstdint>

#include "protocol/server_identity.h"

namespace sondrel {

class IServerEndpoint;

// Once per pool pass: whether a usable server exists, and the state of the best session (3 when
// there is none).
using AvailabilityCallback = void (*)(bool available, int32_t state, void* context);
// The best session changed. The result is not used.
using BestChangedCallback = bool (*)(void* context);
// No session serves the server with this running identity any more. False asks for the report
// to be repeated at the next pass.
using ServerGoneCallback = bool (*)(void* context, const ServerIdentity* identity);
// One endpoint per pool session, valid only during the call.
using EndpointsCallback = void (*)(IServerEndpoint* const* endpoints, int32_t count, void* context);

}  // namespace sondrel
