#include "config/scan_options.h"

namespace sondrel {

ScanOptions MakeScanOptions(const Settings& settings) {
  ScanOptions options;
  options.disinfectOnly = settings.disinfectOnly;
  options.sendInitialBuffer = settings.sendInitialBuffer;
  options.cachemissCountBuffsend = settings.cachemissCountBuffsend;
  options.scanLocalIfError = settings.scanLocalIfError;
  options.preferLocalToOverloaded = settings.preferLocalToOverloaded;
  options.timeoutDisinfect = settings.timeoutDisinfect;
  options.timeout = settings.timeout;
  options.initialBufferSize = settings.initialBufferSize;
  options.cleanSystem = settings.cleanSystem;
  options.cacheNonPE = settings.cacheNonPE;
  options.hashSmallNonPE = settings.hashSmallNonPE;
  options.cacheTreshold = settings.cacheTreshold;
  options.useLocalCache = settings.useLocalCache;
  options.enableScan = settings.enableScan;
  options.useCache = settings.useCache;
  options.hashNonPE = settings.hashNonPE;
  options.extractOnServer = settings.extractOnServer;
  options.maxSizeServerExtract = settings.maxSizeServerExtract;
  return options;
}

}  // namespace sondrel
