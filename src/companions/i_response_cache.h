// The response cache service: a local store of clean verdicts keyed by file size, fingerprint
// and cache value. Lookups and stores come from many requesting threads at once, so a service
// must be safe for concurrent use.
#pragma once

#include <cstdint>

namespace sondrel {

class IResponseCacheLookup {
 public:
  // Slot 0: sets *found when the entry is stored. A false result means not found, whatever
  // *found says.
  virtual bool Lookup(const uint64_t* fileSize, const uint8_t* fingerprint,
                      uint32_t fingerprintLength, uint32_t cacheValue, uint8_t* found) = 0;

 protected:
  ~IResponseCacheLookup() = default;
};

class IResponseCacheService {
 public:
  // Slot 0: true with a handle in *handle, or false.
  virtual bool OpenLookupHandle(IResponseCacheLookup** handle) = 0;
  // Slot 1: gives back a handle that OpenLookupHandle handed out.
  virtual void CloseLookupHandle(IResponseCacheLookup* handle) = 0;
  // Slot 2.
  virtual void Store(const uint64_t* fileSize, const uint8_t* fingerprint,
                     uint32_t fingerprintLength, uint32_t cacheValue) = 0;

 protected:
  ~IResponseCacheService() = default;
};

}  // namespace sondrel
