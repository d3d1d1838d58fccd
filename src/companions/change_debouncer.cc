#include "companions/change_debouncer.h"

#include <algorithm>
#include <utility>

namespace sondrel {

ChangeDebouncer::ChangeDebouncer(std::chrono::milliseconds quiet,
                                 std::chrono::milliseconds interval, std::function<void()> action)
    : quiet_(quiet),
      interval_(interval),
      action_(std::move(action)),
      lastRun_(Clock::now() - interval),
      thread_([this] { Run(); }) {}

ChangeDebouncer::~ChangeDebouncer() {
  Stop();
}

void ChangeDebouncer::Notify() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ = true;
    lastNotice_ = Clock::now();
  }
  wake_.notify_one();
}

void ChangeDebouncer::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
    thread_.join();
  }
}

void ChangeDebouncer::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return stopping_ || pending_; });
    // Later notices push the run back; the interval keeps it from following the last too soon.
    while (!stopping_) {
      const Clock::time_point due = std::max(lastNotice_ + quiet_, lastRun_ + interval_);
      if (Clock::now() >= due) {
        break;
      }
      wake_.wait_until(lock, due);
    }
    if (stopping_) {
      return;
    }
    pending_ = false;
    lock.unlock();
    action_();
    lock.lock();
    lastRun_ = Clock::now();
  }
}

}  // namespace sondrel
