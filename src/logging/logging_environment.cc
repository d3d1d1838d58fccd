#include "logging/logging_environment.h"

#include <atomic>
#include <chrono>

#include "platform/path.h"
#include "platform/process_info.h"

namespace sondrel {
namespace {

std::shared_ptr<const LoggingEnvironment>& Installed() {
  static std::shared_ptr<const LoggingEnvironment> environment =
      std::make_shared<const LoggingEnvironment>(ProcessLoggingEnvironment());
  return environment;
}

}  // namespace

LoggingEnvironment ProcessLoggingEnvironment() {
  LoggingEnvironment environment;
  environment.exeDir = platform::ExecutableDirectory();
  environment.exeName = std::wstring(platform::PathFindFileName(platform::ExecutablePath()));
  environment.commonAppData = platform::CommonAppDataFolder();
  environment.processId = platform::ProcessId();
  environment.nowSeconds = [] {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  };
  return environment;
}

std::shared_ptr<const LoggingEnvironment> CurrentLoggingEnvironment() {
  return std::atomic_load(&Installed());
}

void SetLoggingEnvironment(LoggingEnvironment environment) {
  std::atomic_store(&Installed(),
                    std::make_shared<const LoggingEnvironment>(std::move(environment)));
}

}  // namespace sondrel
