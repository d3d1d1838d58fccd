#include "comm/blocking_deadline.h"

#include <chrono>

namespace sondrel {

BlockingDeadline::BlockingDeadline(platform::NativeSocket socket, uint32_t milliseconds) {
  if (milliseconds == 0) {
    return;
  }
  watcher_ = std::thread([this, socket, milliseconds] {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!disarmed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                            [this] { return done_; })) {
      expired_.store(true);
      platform::ShutdownSocket(socket);
    }
  });
}

BlockingDeadline::~BlockingDeadline() {
  if (!watcher_.joinable()) {
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  disarmed_.notify_all();
  watcher_.join();
}

}  // namespace sondrel
