// The in-memory server cache: bounded, least recently used out first, and valid only for the
// engine that produced an entry.
#include "server/server_cache.h"

#include <gtest/gtest.h>

namespace sondrel::server {
namespace {

CacheKey Key(uint64_t size, uint8_t first) {
  CacheKey key;
  key.fileSize = size;
  key.fingerprint[0] = first;
  return key;
}

TEST(ServerCacheTest, KeepsTheMostRecentlyUsedWithinItsCapacity) {
  LruServerCache cache(2);
  cache.StoreClean(Key(10, 1), 1);
  cache.StoreClean(Key(10, 2), 1);
  EXPECT_TRUE(cache.LookupClean(Key(10, 1), 1));
  cache.StoreClean(Key(10, 3), 1);
  EXPECT_TRUE(cache.LookupClean(Key(10, 1), 1));
  EXPECT_FALSE(cache.LookupClean(Key(10, 2), 1)) << "the least recently used went";
  EXPECT_TRUE(cache.LookupClean(Key(10, 3), 1));
  EXPECT_FALSE(cache.LookupClean(Key(11, 1), 1)) << "the size is part of the key";
  EXPECT_EQ(cache.size(), 2u);
}

TEST(ServerCacheTest, AnEntryIsValidOnlyForItsEngineAndClearEmptiesIt) {
  LruServerCache cache(10);
  cache.StoreClean(Key(10, 1), 1);
  EXPECT_FALSE(cache.LookupClean(Key(10, 1), 2));
  EXPECT_FALSE(cache.LookupClean(Key(10, 1), 1)) << "a stale entry is dropped";
  cache.StoreClean(Key(10, 1), 2);
  cache.Clear();
  EXPECT_FALSE(cache.LookupClean(Key(10, 1), 2));
  LruServerCache disabled(0);
  disabled.StoreClean(Key(10, 1), 1);
  EXPECT_FALSE(disabled.LookupClean(Key(10, 1), 1));
}

}  // namespace
}  // namespace sondrel::server
