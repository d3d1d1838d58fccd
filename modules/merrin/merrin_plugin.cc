#include "merrin_plugin.h"

#include <mutex>
#include <new>
#include <utility>

namespace sondrel::merrin {

MerrinPlugin::MerrinPlugin(StoreEnvironment environment) : environment_(std::move(environment)) {}

void* MerrinPlugin::QueryInterface(Guid interfaceId) {
  return interfaceId == kServPluginId ? static_cast<IServPlugin*>(this) : nullptr;
}

void* MerrinPlugin::GetService(Guid serviceId) {
  if (!started_ || serviceId != kResponseCacheServiceId) {
    return nullptr;
  }
  return static_cast<IResponseCacheService*>(this);
}

int32_t MerrinPlugin::Initialise(int32_t) {
  initialised_ = true;
  return 0;
}

void MerrinPlugin::Uninitialise() {
  started_ = false;
  initialised_ = false;
  std::unique_lock lock(storeMutex_);
  store_.reset();
}

int32_t MerrinPlugin::Start() {
  if (!initialised_) {
    return kNotInitialised;
  }
  std::unique_lock lock(storeMutex_);
  if (store_ == nullptr) {
    try {
      store_ = OpenCacheStore(environment_);
    } catch (const std::bad_alloc&) {
      return kOutOfMemory;
    }
  }
  started_ = true;
  return 0;
}

void MerrinPlugin::Stop() {
  started_ = false;
}

bool MerrinPlugin::OpenLookupHandle(IResponseCacheLookup** handle) {
  if (handle == nullptr || !started_) {
    return false;
  }
  *handle = this;
  return true;
}

void MerrinPlugin::CloseLookupHandle(IResponseCacheLookup*) {}

void MerrinPlugin::Store(const uint64_t* fileSize, const uint8_t* fingerprint,
                         uint32_t fingerprintLength, uint32_t cacheValue) {
  const std::optional<CacheKey> key =
      MakeCacheKey(fileSize, fingerprint, fingerprintLength, cacheValue);
  if (!started_ || !key) {
    return;
  }
  std::shared_lock lock(storeMutex_);
  if (store_ == nullptr) {
    return;
  }
  try {
    store_->Store(*key);
  } catch (const std::bad_alloc&) {
    // Out of memory: the entry is simply not cached.
  }
}

bool MerrinPlugin::Lookup(const uint64_t* fileSize, const uint8_t* fingerprint,
                          uint32_t fingerprintLength, uint32_t cacheValue, uint8_t* found) {
  if (found == nullptr) {
    return false;
  }
  const std::optional<CacheKey> key =
      MakeCacheKey(fileSize, fingerprint, fingerprintLength, cacheValue);
  if (!key) {
    return false;
  }
  std::shared_lock lock(storeMutex_);
  *found = store_ != nullptr && store_->Contains(*key) ? 1 : 0;
  return true;
}

}  // namespace sondrel::merrin
