// Where the logging facility looks for its configuration and what it takes from the process.
// Production code uses the process's own values; tests point the facility at a temporary
// directory and a controlled clock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace sondrel {

struct LoggingEnvironment {
  // Directory searched for configuration files and default place of the log file, with a
  // trailing separator (the host executable's directory).
  std::wstring exeDir;
  // The host executable's file name; the flat configuration is "<name without
  // extension>.Logger.xml".
  std::wstring exeName;
  // The machine-wide application data folder, root of relative flat-format log directories.
  std::wstring commonAppData;
  uint32_t processId = 0;
  // Seconds since 1970, the clock of reload decisions.
  std::function<int64_t()> nowSeconds;
};

// The values of the running process.
LoggingEnvironment ProcessLoggingEnvironment();

// The environment used by loggers that GetLogger creates from now on.
std::shared_ptr<const LoggingEnvironment> CurrentLoggingEnvironment();
void SetLoggingEnvironment(LoggingEnvironment environment);

}  // namespace sondrel
