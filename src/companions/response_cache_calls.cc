#include "companions/response_cache_calls.h"

namespace sondrel {

bool CacheLookup(IResponseCacheService* service, uint64_t fileSize,
                 std::span<const uint8_t> fingerprint, uint32_t cacheValue) {
  if (service == nullptr) {
    return false;
  }
  IResponseCacheLookup* handle = nullptr;
  // A service that claims success without a handle gives nothing to look up or close.
  if (!service->OpenLookupHandle(&handle) || handle == nullptr) {
    return false;
  }
  uint8_t found = 0;
  const bool answered = handle->Lookup(
      &fileSize, fingerprint.data(), static_cast<uint32_t>(fingerprint.size()), cacheValue, &found);
  service->CloseLookupHandle(handle);
  return answered && found != 0;
}

void CacheStore(IResponseCacheService* service, uint64_t fileSize,
                std::span<const uint8_t> fingerprint, uint32_t cacheValue) {
  if (service == nullptr) {
    return;
  }
  service->Store(&fileSize, fingerprint.data(), static_cast<uint32_t>(fingerprint.size()),
                 cacheValue);
}

}  // namespace sondrel
