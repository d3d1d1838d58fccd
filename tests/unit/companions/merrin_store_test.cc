// The response cache's keys, its two stores (in memory and in an LMDB directory) against the
// same rules, and its settings file.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "cache_key.h"
#include "lmdb_store.h"
#include "memory_store.h"
#include "merrin_settings.h"
#include "merrin_test_support.h"
#include "support/temp_dir.h"

namespace sondrel::test {
namespace {

using merrin::CacheKey;
using merrin::CacheStore;
using merrin::LmdbStore;
using merrin::MakeCacheKey;
using merrin::MemoryStore;
using std::chrono::seconds;

CacheKey KeyOf(uint64_t size, const Fingerprint& fingerprint, uint32_t cacheValue) {
  return *MakeCacheKey(&size, fingerprint.data(), 16, cacheValue);
}
CacheKey KeyOf(uint32_t n) {
  return KeyOf(n, FingerprintOf(n), 1);
}

TEST(CacheKeyTest, EveryFieldTellsEntriesApart) {
  const Fingerprint fingerprint = FingerprintOf(1);
  Fingerprint lastByte = fingerprint;
  lastByte[15] ^= 1;
  const CacheKey key = KeyOf(4096, fingerprint, 7);
  EXPECT_EQ(key, KeyOf(4096, fingerprint, 7));
  EXPECT_NE(key, KeyOf(4096 + (uint64_t{1} << 56), fingerprint, 7));
  EXPECT_NE(key, KeyOf(4096, lastByte, 7));
  EXPECT_NE(key, KeyOf(4096, fingerprint, 7 + (1u << 24)));
}

// A clock the test moves by hand, in microseconds.
struct TestClock {
  std::shared_ptr<std::atomic<uint64_t>> now =
      std::make_shared<std::atomic<uint64_t>>(1'700'000'000'000'000);

  merrin::Clock clock() const {
    return [now = now] { return now->load(); };
  }
  void Advance(std::chrono::microseconds by) { *now += static_cast<uint64_t>(by.count()); }
};

struct StoreKind {
  const char* name;
  std::function<std::shared_ptr<CacheStore>(const TempDir&, uint64_t maxEntries, seconds maxAge,
                                            merrin::Clock)>
      make;
};

std::shared_ptr<CacheStore> MakeLmdbStore(const TempDir& directory, uint64_t maxEntries,
                                          seconds maxAge, merrin::Clock clock) {
  LmdbStore::Options options;
  options.directory = directory.path().string();
  options.maxEntries = maxEntries;
  options.maxAge = maxAge;
  options.clock = std::move(clock);
  options.log = [](const std::string& line) { ADD_FAILURE() << line; };
  std::string error;
  std::shared_ptr<CacheStore> store = LmdbStore::Open(options, error);
  EXPECT_NE(store, nullptr) << error;
  return store;
}

void PrintTo(const StoreKind& kind, std::ostream* out) {
  *out << kind.name;
}

const StoreKind kStoreKinds[] = {
    {"Memory",
     [](const TempDir&, uint64_t maxEntries, seconds maxAge, merrin::Clock clock) {
       return std::make_shared<MemoryStore>(maxEntries, maxAge, std::move(clock));
     }},
    {"Lmdb", MakeLmdbStore},
};

class CacheStoreTest : public testing::TestWithParam<StoreKind> {
 protected:
  std::shared_ptr<CacheStore> Make(uint64_t maxEntries, seconds maxAge = seconds(3600)) {
    return GetParam().make(directory_, maxEntries, maxAge, clock_.clock());
  }

  TempDir directory_;
  TestClock clock_;
};

TEST_P(CacheStoreTest, FindsOnlyTheExactEntry) {
  auto store = Make(100);
  ASSERT_NE(store, nullptr);
  const Fingerprint fingerprint = FingerprintOf(1);
  Fingerprint lastByte = fingerprint;
  lastByte[15] ^= 1;
  EXPECT_FALSE(store->Contains(KeyOf(4096, fingerprint, 7)));
  store->Store(KeyOf(4096, fingerprint, 7));
  EXPECT_TRUE(store->Contains(KeyOf(4096, fingerprint, 7)));
  EXPECT_FALSE(store->Contains(KeyOf(4097, fingerprint, 7)));
  EXPECT_FALSE(store->Contains(KeyOf(4096, lastByte, 7)));
  EXPECT_FALSE(store->Contains(KeyOf(4096, fingerprint, 8)));
}

TEST_P(CacheStoreTest, TheOldestEntryMakesRoomAtTheBound) {
  auto store = Make(3);
  ASSERT_NE(store, nullptr);
  for (uint32_t n = 1; n <= 3; ++n) {
    store->Store(KeyOf(n));
    clock_.Advance(std::chrono::microseconds(1));
  }
  // Storing entry 1 again makes it the newest, so entry 2 is the oldest now.
  store->Store(KeyOf(1));
  clock_.Advance(std::chrono::microseconds(1));
  store->Store(KeyOf(4));
  EXPECT_FALSE(store->Contains(KeyOf(2)));
  for (const uint32_t n : {1u, 3u, 4u}) {
    EXPECT_TRUE(store->Contains(KeyOf(n))) << n;
  }
}

TEST_P(CacheStoreTest, AnEntryAnswersOnlyWhileYoungerThanTheMaximumAge) {
  auto store = Make(100, seconds(10));
  ASSERT_NE(store, nullptr);
  store->Store(KeyOf(1));
  clock_.Advance(seconds(10) - std::chrono::microseconds(1));
  EXPECT_TRUE(store->Contains(KeyOf(1)));
  clock_.Advance(std::chrono::microseconds(1));
  EXPECT_FALSE(store->Contains(KeyOf(1)));

  // Stored again, it answers for another full age.
  store->Store(KeyOf(1));
  clock_.Advance(seconds(9));
  EXPECT_TRUE(store->Contains(KeyOf(1)));

  // An entry from the future (the clock was set back) answers nothing.
  *clock_.now -= std::chrono::microseconds(seconds(60)).count();
  EXPECT_FALSE(store->Contains(KeyOf(1)));
}

TEST_P(CacheStoreTest, ExpiredEntriesDoNotTakeRoom) {
  auto store = Make(2, seconds(10));
  ASSERT_NE(store, nullptr);
  store->Store(KeyOf(1));
  clock_.Advance(seconds(11));
  store->Store(KeyOf(2));
  store->Store(KeyOf(3));
  EXPECT_TRUE(store->Contains(KeyOf(2)));
  EXPECT_TRUE(store->Contains(KeyOf(3)));
}

TEST_P(CacheStoreTest, ManyThreadsLookUpAndStoreAtOnce) {
  constexpr uint32_t kThreads = 8;
  constexpr uint32_t kPerThread = 300;
  auto store = Make(kThreads * kPerThread);
  ASSERT_NE(store, nullptr);
  std::atomic<uint32_t> misses{0};
  std::vector<std::thread> threads;
  for (uint32_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&store, &misses, t] {
      for (uint32_t i = 0; i < kPerThread; ++i) {
        const uint32_t n = t * kPerThread + i;
        store->Store(KeyOf(n));
        if (!store->Contains(KeyOf(n))) {
          ++misses;
        }
        // An entry of another thread, present or not yet.
        store->Contains(KeyOf((n + kPerThread) % (kThreads * kPerThread)));
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(misses, 0u);
  for (uint32_t n = 0; n < kThreads * kPerThread; ++n) {
    ASSERT_TRUE(store->Contains(KeyOf(n))) << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Stores, CacheStoreTest, testing::ValuesIn(kStoreKinds),
                         [](const testing::TestParamInfo<StoreKind>& kind) {
                           return std::string(kind.param.name);
                         });

TEST(LmdbStoreTest, OneProcessOpensADirectoryOnceAndFindsItsEntriesAfterClosing) {
  TempDir directory;
  TestClock clock;
  auto first = MakeLmdbStore(directory, 100, seconds(3600), clock.clock());
  auto second = MakeLmdbStore(directory, 100, seconds(3600), clock.clock());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  first->Store(KeyOf(1));
  first.reset();
  second.reset();

  auto reopened = MakeLmdbStore(directory, 100, seconds(3600), clock.clock());
  ASSERT_NE(reopened, nullptr);
  EXPECT_TRUE(reopened->Contains(KeyOf(1)));
}

TEST(LmdbStoreTest, AMapTooSmallForTheBoundDropsTheOldestInsteadOfFailing) {
  TempDir directory;
  LmdbStore::Options options;
  options.directory = directory.path().string();
  options.maxEntries = 1000000;
  options.mapSize = 1024 * 1024;
  options.log = [](const std::string& line) { ADD_FAILURE() << line; };
  std::string error;
  auto store = LmdbStore::Open(options, error);
  ASSERT_NE(store, nullptr) << error;
  constexpr uint32_t kThreads = 8;
  constexpr uint32_t kPerThread = 2000;
  std::vector<std::thread> threads;
  for (uint32_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&store, t] {
      for (uint32_t n = t * kPerThread; n < (t + 1) * kPerThread; ++n) {
        store->Store(KeyOf(n));
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  const uint32_t last = kThreads * kPerThread;
  store->Store(KeyOf(last));
  EXPECT_LT(store->size(), last);
  EXPECT_FALSE(store->Contains(KeyOf(0)));
  EXPECT_TRUE(store->Contains(KeyOf(last)));
}

struct SettingsCase {
  const char* label;
  std::string content;
  std::wstring directory;
  uint64_t maxEntries;
  seconds maxAge;
  size_t problems;
};

TEST(MerrinSettingsTest, ReadsItsThreeKeysAndKeepsTheDefaultForAnythingElse) {
  TempDir directory;
  const std::wstring base = directory.path().wstring();
  const seconds week = std::chrono::hours(24 * 7);
  const std::wstring standard = L"/var/lib/sondrel/cache";
  const SettingsCase cases[] = {
      {"empty", "", standard, 1000000, week, 0},
      {"all three",
       "# the cache\n  directory = /srv/cache  \nmax_entries=5000\r\nmax_age_seconds = 60\n",
       L"/srv/cache", 5000, seconds(60), 0},
      {"relative directory", "directory = cache/here\n", base + L"/cache/here", 1000000, week, 0},
      {"bad lines",
       "max_entries = 0\nmax_entries = 12abc\nmax_entries = 100000001\nmax_age_seconds = 0\n"
       "max_age_seconds = 315360001\nmax_age_seconds = -5\ncolour = blue\nno equals sign\n"
       "directory =\n",
       standard, 1000000, week, 9},
  };
  for (const SettingsCase& c : cases) {
    SCOPED_TRACE(c.label);
    const auto path = directory.Write("Merrin.conf", c.content);
    std::vector<std::string> lines;
    const merrin::MerrinSettings settings = merrin::ReadMerrinSettings(
        path.wstring(), [&lines](const std::string& line) { lines.push_back(line); });
    EXPECT_EQ(settings.directory, c.directory);
    EXPECT_EQ(settings.maxEntries, c.maxEntries);
    EXPECT_EQ(settings.maxAge, c.maxAge);
    EXPECT_EQ(lines.size(), c.problems);
  }
  const merrin::MerrinSettings missing = merrin::ReadMerrinSettings(
      base + L"/none.conf", [](const std::string& line) { ADD_FAILURE() << line; });
  EXPECT_EQ(missing.directory, standard);
}

}  // namespace
}  // namespace sondrel::test
