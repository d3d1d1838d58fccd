#include "server/scan_queue.h"

#include <algorithm>

#include "protocol/load_flags.h"

namespace sondrel::server {

ScanQueue::ScanQueue(unsigned workers, size_t capacity)
    : workerCount_(std::max(1u, workers)),
      capacity_(std::max<size_t>(1, capacity)),
      highWater_(std::max<size_t>(1, capacity_ * 3 / 4)),
      flags_(load_flags::kUnderloaded) {}

ScanQueue::~ScanQueue() {
  Stop();
}

void ScanQueue::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (unsigned i = 0; i < workerCount_; ++i) {
    workers_.emplace_back([this] { RunWorker(); });
  }
}

bool ScanQueue::Submit(Task task) {
  bool changed = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shuttingDown_ || stopping_ || tasks_.size() >= capacity_) {
      return false;
    }
    tasks_.push_back(std::move(task));
    changed = UpdateFlags();
  }
  work_.notify_one();
  Notify(changed);
  return true;
}

void ScanQueue::BeginShutdown() {
  bool changed = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shuttingDown_ = true;
    changed = UpdateFlags();
  }
  Notify(changed);
}

bool ScanQueue::WaitIdle(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  return idle_.wait_until(lock, deadline, [this] { return tasks_.empty() && running_ == 0; });
}

void ScanQueue::Stop() {
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    workers.swap(workers_);
  }
  work_.notify_all();
  for (std::thread& worker : workers) {
    worker.join();
  }
}

uint32_t ScanQueue::LoadFlags() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return flags_;
}

size_t ScanQueue::queued() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tasks_.size();
}

size_t ScanQueue::running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

void ScanQueue::RunWorker() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    work_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
    if (tasks_.empty()) {
      return;
    }
    Task task = std::move(tasks_.front());
    tasks_.pop_front();
    ++running_;
    bool changed = UpdateFlags();
    lock.unlock();
    Notify(changed);
    task();
    task = nullptr;
    lock.lock();
    --running_;
    changed = UpdateFlags();
    if (tasks_.empty() && running_ == 0) {
      idle_.notify_all();
    }
    lock.unlock();
    Notify(changed);
    lock.lock();
  }
}

uint32_t ScanQueue::ComputeFlags() const {
  if (shuttingDown_ || tasks_.size() >= highWater_) {
    return load_flags::kOverloaded;
  }
  if (tasks_.empty() && running_ < workerCount_) {
    return load_flags::kUnderloaded;
  }
  return load_flags::kNormal;
}

bool ScanQueue::UpdateFlags() {
  const uint32_t flags = ComputeFlags();
  const bool changed = flags != flags_;
  flags_ = flags;
  return changed;
}

void ScanQueue::Notify(bool changed) {
  if (changed && listener_) {
    listener_(LoadFlags());
  }
}

}  // namespace sondrel::server
