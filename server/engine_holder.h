// The engine in use, and its replacement on a reload: a new engine is built aside on a thread of
// its own and swapped in once compiled; scans that hold the old one finish on it. A failed
// reload keeps the engine in use.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/engine.h"

namespace sondrel::server {

class EngineHolder {
 public:
  // Called after each reload: with the new engine once it is in use, or with null when the reload
  // failed.
  using SwapListener = std::function<void(const Engine*)>;

  EngineHolder(std::vector<std::string> databases, EngineLimits limits);
  ~EngineHolder();
  EngineHolder(const EngineHolder&) = delete;
  EngineHolder& operator=(const EngineHolder&) = delete;

  // Builds the first engine on the calling thread.
  bool Load(std::string& error);
  std::shared_ptr<const Engine> Current() const;

  // Starts a reload unless one is running; a reload asked for meanwhile runs after it.
  void Reload(SwapListener onSwapped);
  // Waits for a running reload to end.
  void Join();

 private:
  void RunReloads(SwapListener onSwapped);

  const std::vector<std::string> databases_;
  const EngineLimits limits_;
  mutable std::mutex mutex_;
  std::shared_ptr<const Engine> current_;
  bool reloading_ = false;
  bool reloadAgain_ = false;
  std::thread reloader_;
};

}  // namespace sondrel::server
