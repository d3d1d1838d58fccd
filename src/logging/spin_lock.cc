#include "logging/spin_lock.h"

#include <chrono>
#include <thread>

namespace sondrel {

void SpinLock::lock() {
  int expected = 0;
  while (!state_.compare_exchange_strong(expected, 1, std::memory_order_acquire)) {
    expected = 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace sondrel
