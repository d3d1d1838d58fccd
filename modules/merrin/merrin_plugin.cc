#include "merrin_plugin.h"

#include <new>

namespace sondrel::merrin {

MerrinPlugin::MerrinPlugin(size_t capacity) : store_(capacity) {}

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
  store_.Clear();
}

int32_t MerrinPlugin::Start() {
  if (!initialised_) {
    return kNotInitialised;
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
  if (!started_ || fileSize == nullptr || (fingerprint == nullptr && fingerprintLength != 0)) {
    return;
  }
  try {
    store_.Store(*fileSize, {fingerprint, fingerprintLength}, cacheValue);
  } catch (const std::bad_alloc&) {
    // Out of memory: the entry is simply not cached.
  }
}

bool MerrinPlugin::Lookup(const uint64_t* fileSize, const uint8_t* fingerprint,
                          uint32_t fingerprintLength, uint32_t cacheValue, uint8_t* found) {
  if (found == nullptr || fileSize == nullptr ||
      (fingerprint == nullptr && fingerprintLength != 0)) {
    return false;
  }
  *found = store_.Contains(*fileSize, {fingerprint, fingerprintLength}, cacheValue) ? 1 : 0;
  return true;
}

}  // namespace sondrel::merrin
