// A time limit for blocking socket calls. The system's receive and send time-outs do not bound the
// network library's blocking reads and writes on every platform (they wait for readiness again
// after the system call times out), so connection set-up arms one of these around its blocking
// steps: when they have not finished in time, the socket is shut down and they fail.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/socket_options.h"

namespace sondrel {

class BlockingDeadline {
 public:
  // Arms the limit for `socket`; 0 milliseconds arms nothing.
  BlockingDeadline(platform::NativeSocket socket, uint32_t milliseconds);
  // Disarms the limit; the socket is never touched after this returns.
  ~BlockingDeadline();
  BlockingDeadline(const BlockingDeadline&) = delete;
  BlockingDeadline& operator=(const BlockingDeadline&) = delete;

  // Whether the limit expired and the socket was shut down.
  bool expired() const { return expired_.load(); }

 private:
  std::mutex mutex_;
  std::condition_variable disarmed_;
  bool done_ = false;
  std::atomic<bool> expired_{false};
  std::thread watcher_;
};

}  // namespace sondrel
