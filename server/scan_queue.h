// The scan workers and the bounded queue in front of them, and the load flags that follow from
// them: underloaded while a worker is free and nothing waits, overloaded once the queue reaches
// its high-water mark (three quarters of its capacity) or the server is shutting down, normal
// otherwise. A change of the flags is reported to the listener.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace sondrel::server {

class ScanQueue {
 public:
  using Task = std::function<void()>;
  using LoadListener = std::function<void(uint32_t loadFlags)>;

  ScanQueue(unsigned workers, size_t capacity);
  ~ScanQueue();
  ScanQueue(const ScanQueue&) = delete;
  ScanQueue& operator=(const ScanQueue&) = delete;

  // Set before Start.
  void SetLoadListener(LoadListener listener) { listener_ = std::move(listener); }
  void Start();
  // Queues the task; false when the queue is full or the server is shutting down.
  bool Submit(Task task);
  // From now on nothing is accepted and the load is reported as overloaded.
  void BeginShutdown();
  // Waits until nothing runs or waits, or until the deadline; true when idle.
  bool WaitIdle(std::chrono::steady_clock::time_point deadline);
  // Runs what is still queued and ends the workers.
  void Stop();

  uint32_t LoadFlags() const;
  size_t queued() const;
  size_t running() const;

 private:
  void RunWorker();
  uint32_t ComputeFlags() const;
  // Recomputes the flags under the lock; returns whether they changed.
  bool UpdateFlags();
  void Notify(bool changed);

  const unsigned workerCount_;
  const size_t capacity_;
  const size_t highWater_;
  LoadListener listener_;
  mutable std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable idle_;
  std::deque<Task> tasks_;
  size_t running_ = 0;
  bool shuttingDown_ = false;
  bool stopping_ = false;
  uint32_t flags_;
  std::vector<std::thread> workers_;
};

}  // namespace sondrel::server
