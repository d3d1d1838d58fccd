// Turns bursts of change notices (an editor's save is often several) into one action: the
// action runs once the notices have been quiet for a while, and never sooner than a minimum
// interval after its previous run. It runs on a thread of the debouncer's own, started by the
// constructor.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace sondrel {

class ChangeDebouncer {
 public:
  using Clock = std::chrono::steady_clock;

  ChangeDebouncer(std::chrono::milliseconds quiet, std::chrono::milliseconds interval,
                  std::function<void()> action);
  ChangeDebouncer(const ChangeDebouncer&) = delete;
  ChangeDebouncer& operator=(const ChangeDebouncer&) = delete;
  ~ChangeDebouncer();

  // A change happened. Safe from any thread.
  void Notify();
  // Drops a pending change and waits for a running action; the action does not run again.
  void Stop();

 private:
  void Run();

  const std::chrono::milliseconds quiet_;
  const std::chrono::milliseconds interval_;
  const std::function<void()> action_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool pending_ = false;
  bool stopping_ = false;
  Clock::time_point lastNotice_;
  Clock::time_point lastRun_;
  std::thread thread_;
};

}  // namespace sondrel
