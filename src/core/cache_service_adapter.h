// The loaded response cache as the scan code uses it.
#pragma once

#include "companions/i_response_cache.h"
#include "companions/response_cache_calls.h"
#include "scan/local_response_cache.h"

namespace sondrel {

class CacheServiceAdapter final : public ILocalResponseCache {
 public:
  explicit CacheServiceAdapter(IResponseCacheService* service) : service_(service) {}

  bool Lookup(uint64_t fileSize, std::span<const uint8_t> fingerprint,
              uint32_t cacheValue) override {
    return CacheLookup(service_, fileSize, fingerprint, cacheValue);
  }
  void Store(uint64_t fileSize, std::span<const uint8_t> fingerprint,
             uint32_t cacheValue) override {
    CacheStore(service_, fileSize, fingerprint, cacheValue);
  }

 private:
  IResponseCacheService* service_;
};

}  // namespace sondrel
