// The client object: everything the host's calls reach hangs off it. Construction only sets up
// state (settings with their built-in defaults, loggers); files, modules and connections are
// the business of Init.
#pragma once

#include <atomic>
#include <boost/thread/recursive_mutex.hpp>
#include <cstdint>

#include "config/settings_store.h"
#include "core/i_exports.h"
#include "logging/logger.h"
#include "qx/string_t.h"
#include "scan/cache_exclusions.h"

namespace sondrel {

class CSondrel final : public IExports {
 public:
  CSondrel();
  CSondrel(const CSondrel&) = delete;
  CSondrel& operator=(const CSondrel&) = delete;
  ~CSondrel() override = default;

  int32_t Init(ScanContext** context, const char* path) override;
  int32_t Scan(const HostCallbacks* callbacks, ScanRequest* request, ScanContext* context) override;
  int32_t Uninit(ScanContext* context, int32_t flags) override;
  int32_t Disinfect(const HostCallbacks* callbacks, const DisinfectRequest* request,
                    ScanContext* context) override;

  SettingsStore& settings() { return settings_; }
  bool initialised() const { return initialised_; }
  bool canScanRemote() const { return canScanRemote_; }

 private:
  int32_t ScanInternal(const char* path);

  // Serialises Init and Uninit; recursive so that a thread holding it may re-enter.
  boost::recursive_mutex lock_;
  LoggerPtr logger_;
  std::atomic<int64_t> initTime_{0};  // seconds since 1970, set by the first successful Init
  std::atomic<bool> canScan_{false};
  std::atomic<bool> canScanRemote_{false};
  std::atomic<int32_t> connectionStatus_{0};  // 2: the servers are overloaded
  std::atomic<bool> initialised_{false};
  std::atomic<bool> serverUp_{true};
  std::atomic<bool> shuttingDown_{false};
  // Consecutive requests not answered from the server's cache.
  std::atomic<int32_t> cacheMissCount_{0};
  std::atomic<bool> sendInitialBufferMode_{false};
  SettingsStore settings_;
  qx::PathStringT enginePath_;
  CacheExclusions cacheExclusions_;
};

}  // namespace sondrel
