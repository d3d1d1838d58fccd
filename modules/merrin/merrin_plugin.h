// The "Merrin" object: a plug-in that, once initialised and started, serves the response cache.
// Start opens the store (open_store.h), Uninitialise closes it. Its one lookup handle is itself;
// lookups keep no state in it.
#pragma once

#include <atomic>
#include <memory>
#include <shared_mutex>

#include "cache_store.h"
#include "companions/companion_factory.h"
#include "companions/i_response_cache.h"
#include "companions/i_serv_plugin.h"
#include "open_store.h"

namespace sondrel::merrin {

class MerrinPlugin final : public ICompanionObject,
                           public IServPlugin,
                           public IResponseCacheService,
                           public IResponseCacheLookup {
 public:
  explicit MerrinPlugin(StoreEnvironment environment);
  virtual ~MerrinPlugin() = default;

  void* QueryInterface(Guid interfaceId) override;

  void* GetService(Guid serviceId) override;
  int32_t Initialise(int32_t argument) override;
  void Uninitialise() override;
  int32_t Start() override;
  void Stop() override;

  bool OpenLookupHandle(IResponseCacheLookup** handle) override;
  void CloseLookupHandle(IResponseCacheLookup* handle) override;
  void Store(const uint64_t* fileSize, const uint8_t* fingerprint, uint32_t fingerprintLength,
             uint32_t cacheValue) override;

  bool Lookup(const uint64_t* fileSize, const uint8_t* fingerprint, uint32_t fingerprintLength,
              uint32_t cacheValue, uint8_t* found) override;

  // Start answers this when the plug-in was not initialised, and kOutOfMemory when it could
  // not make its store.
  static constexpr int32_t kNotInitialised = 21;
  static constexpr int32_t kOutOfMemory = 8;

 private:
  const StoreEnvironment environment_;
  // Lookups and stores share the store; Start and Uninitialise replace it alone.
  std::shared_mutex storeMutex_;
  std::shared_ptr<CacheStore> store_;
  std::atomic<bool> initialised_{false};
  std::atomic<bool> started_{false};
};

}  // namespace sondrel::merrin
