// The scan path's snapshot of the settings, taken once per request and read without a lock.
// Booleans are 0/1 words.
#pragma once

#include <cstdint>

#include "config/settings.h"

namespace sondrel {

struct ScanOptions {
  int32_t disinfectOnly = 0;
  int32_t sendInitialBuffer = 0;
  int32_t cachemissCountBuffsend = 0;
  int32_t scanLocalIfError = 0;
  int32_t preferLocalToOverloaded = 0;
  int32_t timeoutDisinfect = 0;
  int32_t timeout = 0;
  int32_t initialBufferSize = 0;
  int32_t cleanSystem = 0;
  int32_t cacheNonPE = 0;
  int32_t hashSmallNonPE = 0;
  int32_t cacheTreshold = 0;
  int32_t useLocalCache = 0;
  int32_t enableScan = 0;
  int32_t useCache = 0;
  int32_t hashNonPE = 0;
  int32_t extractOnServer = 0;
  int64_t maxSizeServerExtract = 0;
};

ScanOptions MakeScanOptions(const Settings& settings);

}  // namespace sondrel
