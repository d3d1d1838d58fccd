// A cache of clean results that many servers share, beside each server's own (server_cache.h).
// An entry is good only for the file size, fingerprint and signature database version that
// wrote it. The shared store is another machine's service: every call is bounded in time, and a
// store that cannot be reached or answers nonsense is a miss, never a verdict and never a failed
// scan.
#pragma once

#include <string>

#include "server/server_cache.h"

namespace sondrel::server {

class ISharedCache {
 public:
  virtual ~ISharedCache() = default;
  // Whether the file is known clean under the databases of `databaseVersion`.
  virtual bool LookupClean(const CacheKey& key, const std::string& databaseVersion) = 0;
  // Records a clean result of a complete scan under those databases.
  virtual void StoreClean(const CacheKey& key, const std::string& databaseVersion) = 0;
};

}  // namespace sondrel::server
