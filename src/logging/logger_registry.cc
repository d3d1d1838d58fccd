#include "logging/logger_registry.h"

#include <mutex>
#include <utility>
#include <vector>

#include "logging/spin_lock.h"

namespace sondrel {
namespace {

struct Registry {
  SpinLock lock;
  std::vector<std::pair<std::string, LoggerPtr>> entries;
};

// Lives as long as the library: loggers handed out stay alive through their shared owners even
// when the registry goes away with the library.
Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

LoggerPtr GetLogger(std::string_view category) {
  Registry& registry = TheRegistry();
  std::lock_guard<SpinLock> hold(registry.lock);
  for (const auto& [name, logger] : registry.entries) {
    if (name == category) {
      return logger;
    }
  }
  auto logger = std::make_shared<Logger>(std::string(category), CurrentLoggingEnvironment());
  registry.entries.emplace_back(std::string(category), logger);
  return logger;
}

}  // namespace sondrel
