#include "logging/logging_environment.h"

#include <atomic>
#include <chrono>
#include <optional>

#include "platform/environment.h"
#include "platform/path.h"
#include "platform/process_info.h"
#include "sondrel/sondrel.h"

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
  // A host may name another directory for the configuration files and the default log file.
  if (const std::optional<std::wstring> named =
          platform::EnvironmentPath(SONDREL_ENV_LOG_CONFIG_DIR)) {
    environment.exeDir = *named;
    platform::PathAddSeparator(environment.exeDir);
  } else {
    environment.exeDir = platform::ExecutableDirectory();
  }
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
