// What every connection of a running server shares.
#pragma once

#include "protocol/server_identity.h"
#include "server/engine_holder.h"
#include "server/metrics.h"
#include "server/scan_queue.h"
#include "server/server_cache.h"
#include "server/server_options.h"
#include "server/shared_cache.h"

namespace sondrel::server {

struct ServerContext {
  const ServerOptions& options;
  EngineHolder& engines;
  IServerCache& cache;
  ScanQueue& queue;
  Metrics& metrics;
  // A random version-4 identity made at start, so that clients see a restart.
  ServerIdentity runningId{};
  // The cache the fleet shares, when --shared-cache names one.
  ISharedCache* sharedCache = nullptr;
};

// The server's own version, sent in the running-server data.
inline constexpr uint16_t kServerVersionMajor = SONDREL_SERVER_VERSION_MAJOR;
inline constexpr uint16_t kServerVersionMinor = SONDREL_SERVER_VERSION_MINOR;

}  // namespace sondrel::server
