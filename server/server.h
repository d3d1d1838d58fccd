// The running server: the engine, the cache, the scan queue, the listeners, the connections,
// the metrics endpoint and the signals, put together and taken down in order.
#pragma once

#include <ostream>

#include "server/server_options.h"

namespace sondrel::server {

// Runs the server until SIGTERM or SIGINT. The first lines on `out` are "listening ADDRESS:PORT",
// one per listener, then "metrics ADDRESS:PORT" when metrics are served. Returns the exit code:
// 0 after an orderly shutdown, 1 when the server could not start.
int RunServer(const ServerOptions& options, std::ostream& out);

}  // namespace sondrel::server
