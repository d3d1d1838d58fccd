// Chooses the store the plug-in serves from: the LMDB environment in the cache directory, or,
// when that directory cannot be made, is not writable or holds a damaged database, the
// in-memory store after one line that says why.
#pragma once

#include <memory>
#include <string>

#include "cache_store.h"
#include "merrin_settings.h"

namespace sondrel::merrin {

struct StoreEnvironment {
  std::wstring settingsPath;  // the companion's settings file; empty for the defaults
  Clock clock = SystemClock;
  LogLine log;
};

std::shared_ptr<CacheStore> OpenCacheStore(const StoreEnvironment& environment);

// Creates the directory and any missing parents; true when it exists afterwards.
bool MakeDirectories(const std::wstring& directory);

}  // namespace sondrel::merrin
