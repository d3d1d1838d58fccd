// The faults a fault proxy applies to the bytes it forwards right now. Read and changed only on
// the proxy's I/O thread.
#pragma once

#include <algorithm>
#include <chrono>

namespace sondrel::test {

struct FaultPlan {
  using Clock = std::chrono::steady_clock;

  // Until then, every chunk waits `delay` before it is passed on.
  Clock::time_point delayUntil{};
  std::chrono::milliseconds delay{0};
  // Until then, no byte is passed on in either direction.
  Clock::time_point stallUntil{};

  // When the next chunk may go out if it arrives at `now`.
  Clock::time_point ReleaseTime(Clock::time_point now) const {
    Clock::time_point release = now < stallUntil ? stallUntil : now;
    if (now < delayUntil) {
      release = std::max(release, now + delay);
    }
    return release;
  }
};

}  // namespace sondrel::test
