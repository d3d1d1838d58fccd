// A bounded queue between the thread that walks the paths and the scanning threads: the walker
// waits while the queue is full, so a tree of any size is never held in memory at once.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace sondrel::scan_tool {

template <typename T>
class WorkQueue {
 public:
  explicit WorkQueue(size_t capacity) : capacity_(capacity) {}

  // False when the queue was closed meanwhile.
  bool Push(T item) {
    std::unique_lock<std::mutex> lock(mutex_);
    notFull_.wait(lock, [&] { return closed_ || items_.size() < capacity_; });
    if (closed_) {
      return false;
    }
    items_.push_back(std::move(item));
    notEmpty_.notify_one();
    return true;
  }

  // The next item; nothing once the queue is closed and empty.
  std::optional<T> Pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    notEmpty_.wait(lock, [&] { return closed_ || !items_.empty(); });
    if (items_.empty()) {
      return std::nullopt;
    }
    T item = std::move(items_.front());
    items_.pop_front();
    notFull_.notify_one();
    return item;
  }

  // No more items will come; what is queued is still handed out.
  void Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    notEmpty_.notify_all();
    notFull_.notify_all();
  }

  // Drops what is queued and closes: for a run that has to stop.
  void Abandon() {
    std::lock_guard<std::mutex> lock(mutex_);
    items_.clear();
    closed_ = true;
    notEmpty_.notify_all();
    notFull_.notify_all();
  }

 private:
  const size_t capacity_;
  std::mutex mutex_;
  std::condition_variable notFull_;
  std::condition_variable notEmpty_;
  std::deque<T> items_;
  bool closed_ = false;
};

}  // namespace sondrel::scan_tool
