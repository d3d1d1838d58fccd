#include "server/engine_holder.h"

#include <utility>

#include "server/server_log.h"

namespace sondrel::server {

EngineHolder::EngineHolder(std::vector<std::string> databases, EngineLimits limits)
    : databases_(std::move(databases)), limits_(limits) {}

EngineHolder::~EngineHolder() {
  Join();
}

bool EngineHolder::Load(std::string& error) {
  std::shared_ptr<const Engine> engine = Engine::Load(databases_, limits_, error);
  if (engine == nullptr) {
    return false;
  }
  SERVER_INFO("signatures loaded: " << engine->signatures());
  std::lock_guard<std::mutex> lock(mutex_);
  current_ = std::move(engine);
  return true;
}

std::shared_ptr<const Engine> EngineHolder::Current() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return current_;
}

void EngineHolder::Reload(SwapListener onSwapped) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (reloading_) {
    reloadAgain_ = true;
    return;
  }
  if (reloader_.joinable()) {
    reloader_.join();
  }
  reloading_ = true;
  reloader_ = std::thread([this, onSwapped = std::move(onSwapped)] { RunReloads(onSwapped); });
}

void EngineHolder::RunReloads(SwapListener onSwapped) {
  while (true) {
    SERVER_INFO("reloading the signatures");
    std::string error;
    std::shared_ptr<const Engine> engine = Engine::Load(databases_, limits_, error);
    if (engine == nullptr) {
      SERVER_ERROR("reload failed, the signatures in use stay: " << error);
      if (onSwapped) {
        onSwapped(nullptr);
      }
    } else {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        current_ = engine;
      }
      if (onSwapped) {
        onSwapped(engine.get());
      }
      SERVER_INFO("signatures reloaded: " << engine->signatures());
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!reloadAgain_) {
      reloading_ = false;
      return;
    }
    reloadAgain_ = false;
  }
}

void EngineHolder::Join() {
  std::thread reloader;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reloader = std::move(reloader_);
  }
  if (reloader.joinable()) {
    reloader.join();
  }
}

}  // namespace sondrel::server
