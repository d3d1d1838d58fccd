// When the start of every file goes with its request: after a run of requests that the server's
// cache could not answer, the client sends each file's first bytes along, until the server's cache
// answers again for as many requests in a row.
#pragma once

#include <atomic>
#include <cstdint>

namespace sondrel {

struct CacheMissBookkeeping {
  // Consecutive requests not answered from the server's cache (or, while the mode is on, the
  // answered ones still needed to switch it off).
  std::atomic<int32_t> cacheMissCount{0};
  // Send the start of every file with its request.
  std::atomic<bool> sendInitialBufferMode{false};

  // Counts one completed request; `threshold` is the length of the run that switches the mode.
  void Count(bool answeredFromCache, int32_t threshold);
  // Starts over: a failed request, or the servers coming back.
  void Reset();
};

}  // namespace sondrel
