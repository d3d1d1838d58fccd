// The flags through which the comm client, its requesters and its pool manager thread steer the
// pool, and the event that wakes the pool manager from its wait between passes.
#pragma once

#include <atomic>

#include "comm/auto_reset_event.h"

namespace sondrel {

struct PoolControl {
  // Stop has begun.
  std::atomic<bool> stopping{false};
  // The server list was replaced: the next pass rebuilds the pool from it.
  std::atomic<bool> reloadRequested{false};
  // Since the last wait, sessions were retired or dropped or a request found no session.
  std::atomic<bool> poolChanged{false};
  // The current wait ends at once.
  std::atomic<bool> wakeNow{false};
  // The first pass (or the single session's start) is done; requests may be sent.
  std::atomic<bool> firstPassDone{false};
  AutoResetEvent wakeEvent;
};

}  // namespace sondrel
