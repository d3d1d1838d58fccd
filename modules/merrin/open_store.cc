#include "open_store.h"

#include <algorithm>

#include "lmdb_store.h"
#include "memory_store.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/utf8.h"

namespace sondrel::merrin {

bool MakeDirectories(const std::wstring& directory) {
  if (directory.empty() || platform::DirectoryExists(directory)) {
    return !directory.empty();
  }
  const std::wstring parent = platform::PathParent(directory);
  if (!parent.empty() && parent != directory && !MakeDirectories(parent)) {
    return false;
  }
  return platform::CreateDirectory(directory) != platform::CreateDirectoryResult::kFailed &&
         platform::DirectoryExists(directory);
}

std::shared_ptr<CacheStore> OpenCacheStore(const StoreEnvironment& environment) {
  const MerrinSettings settings = ReadMerrinSettings(environment.settingsPath, environment.log);
  const std::string directory = platform::NativePath(settings.directory);
  std::string reason = "the directory cannot be made";
  if (MakeDirectories(settings.directory)) {
    LmdbStore::Options options;
    options.directory = directory;
    options.maxEntries = settings.maxEntries;
    options.maxAge = settings.maxAge;
    options.clock = environment.clock;
    options.log = environment.log;
    if (std::shared_ptr<LmdbStore> store = LmdbStore::Open(options, reason)) {
      return store;
    }
  }
  if (environment.log) {
    environment.log("Merrin: the cache directory " + directory + " cannot be used (" + reason +
                    "); responses are cached in memory only");
  }
  return std::make_shared<MemoryStore>(
      static_cast<size_t>(std::min<uint64_t>(settings.maxEntries, MemoryStore::kCapacity)),
      settings.maxAge, environment.clock);
}

}  // namespace sondrel::merrin
