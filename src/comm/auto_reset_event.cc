#include "comm/auto_reset_event.h"

namespace sondrel {

void AutoResetEvent::Signal() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = true;
  }
  signalled_.notify_one();
}

bool AutoResetEvent::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!signalled_.wait_for(lock, timeout, [this] { return set_; })) {
    return false;
  }
  set_ = false;
  return true;
}

}  // namespace sondrel
