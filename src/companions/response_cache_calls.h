// What the client asks of the response cache service. Both calls may come from many requesting
// threads at once; the service does its own locking.
#pragma once

#include <cstdint>
#include <span>

#include "companions/i_response_cache.h"

namespace sondrel {

// True only when a service is loaded, a lookup handle could be opened, and the lookup both
// succeeded and reported the entry found. A handle that was opened is always closed.
bool CacheLookup(IResponseCacheService* service, uint64_t fileSize,
                 std::span<const uint8_t> fingerprint, uint32_t cacheValue);
// Stores the entry; does nothing when no service is loaded.
void CacheStore(IResponseCacheService* service, uint64_t fileSize,
                std::span<const uint8_t> fingerprint, uint32_t cacheValue);

}  // namespace sondrel
