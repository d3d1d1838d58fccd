// The small lock of the logging facility: taken by an atomic exchange from 0 to 1; a thread that
// finds it taken sleeps 1 ms and tries again. Held only for a lookup, an append or a pointer copy.
#pragma once

#include <atomic>

namespace sondrel {

class SpinLock {
 public:
  void lock();
  void unlock() { state_.store(0, std::memory_order_release); }

 private:
  std::atomic<int> state_{0};
};

}  // namespace sondrel
