// An event that releases one waiter per signal: a signal with nobody waiting is kept until the
// next wait consumes it, and several signals before a wait count as one.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace sondrel {

class AutoResetEvent {
 public:
  void Signal();
  // Waits up to `timeout` for the signal and consumes it; true when it was signalled.
  bool WaitFor(std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::condition_variable signalled_;
  bool set_ = false;
};

}  // namespace sondrel
