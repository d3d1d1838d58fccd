// One immutable logger configuration. A reload builds a new record; writers keep the record they
// started with through their shared pointer.
#pragma once

#include <cstdint>
#include <string>

#include "logging/level.h"

namespace sondrel {

enum LogOutputType : int32_t {
  kOutputDebugger = 0,
  kOutputFile = 1,
  kOutputBoth = 2,
};

struct LoggerSettings {
  std::string category;
  int32_t level = kLevelInfo;
  int32_t outputType = kOutputFile;
  std::wstring filePath;
  std::wstring configPath;
  int32_t MaxBackupIndex = 5;
  int32_t MaxFileSize = 10;   // MiB
  int32_t reloadSeconds = 0;  // 0 means 600 while monitoring
  bool monitor = false;
  bool loaded = false;
};

}  // namespace sondrel
