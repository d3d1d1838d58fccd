// How every slot operation reaches the scan servers: called by the connection manager's
// EnumerateEndpoints with one endpoint per session and the slot registry as context, it answers
// the registry's current request (allocate, free, keep or move) by messaging the suitable servers,
// and invents slots for servers without slot support.
#pragma once

#include <cstdint>

#include "comm/i_server_endpoint.h"

namespace sondrel {

// Does nothing unless endpoints, a non-zero count and the registry are all given. Runs with the
// registry's mutex held.
void ServerAccessCallback(IServerEndpoint* const* endpoints, int32_t count, void* registry);

}  // namespace sondrel
