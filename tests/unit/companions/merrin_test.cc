#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "companion_test_paths.h"
#include "companions/i_response_cache.h"
#include "companions/response_cache_calls.h"
#include "companions/serv_plugin.h"
#include "merrin_plugin.h"
#include "response_store.h"

namespace sondrel {
namespace {

using merrin::MerrinPlugin;
using merrin::ResponseStore;
using Fingerprint = std::array<uint8_t, 16>;

Fingerprint FingerprintOf(uint32_t n) {
  Fingerprint fingerprint{};
  for (size_t i = 0; i < 4; ++i) {
    fingerprint[i] = static_cast<uint8_t>(n >> (8 * i));
  }
  fingerprint[15] = 0x5A;
  return fingerprint;
}

TEST(ResponseStoreTest, FindsOnlyTheExactEntry) {
  ResponseStore store;
  const Fingerprint stored = FingerprintOf(1);
  store.Store(4096, stored, 7);
  EXPECT_TRUE(store.Contains(4096, stored, 7));

  Fingerprint lastByte = stored;
  lastByte[15] ^= 1;
  const std::array<uint8_t, 15> shorter{};
  struct Miss {
    const char* label;
    uint64_t size;
    std::span<const uint8_t> fingerprint;
    uint32_t value;
  };
  const Miss misses[] = {
      {"size", 4097, stored, 7},
      {"fingerprint", 4096, lastByte, 7},
      {"fingerprint length", 4096, std::span<const uint8_t>(stored).first(15), 7},
      {"cache value", 4096, stored, 8},
      {"nothing like it", 0, shorter, 0},
  };
  for (const Miss& miss : misses) {
    SCOPED_TRACE(miss.label);
    EXPECT_FALSE(store.Contains(miss.size, miss.fingerprint, miss.value));
  }
}

TEST(ResponseStoreTest, TheOldestEntryMakesRoomAtTheBound) {
  ResponseStore store(3);
  for (uint32_t n = 1; n <= 3; ++n) {
    store.Store(n, FingerprintOf(n), 0);
  }
  // Storing entry 1 again makes it the newest, so entry 2 is the oldest now.
  store.Store(1, FingerprintOf(1), 0);
  store.Store(4, FingerprintOf(4), 0);
  EXPECT_EQ(store.size(), 3u);
  EXPECT_FALSE(store.Contains(2, FingerprintOf(2), 0));
  for (const uint32_t n : {1u, 3u, 4u}) {
    EXPECT_TRUE(store.Contains(n, FingerprintOf(n), 0)) << n;
  }
}

TEST(ResponseStoreTest, AFingerprintLongerThanTheLimitIsNeitherStoredNorFound) {
  ResponseStore store;
  const std::vector<uint8_t> longest(ResponseStore::kMaxFingerprintLength, 0xEE);
  const std::vector<uint8_t> tooLong(ResponseStore::kMaxFingerprintLength + 1, 0xEE);
  store.Store(1, longest, 0);
  store.Store(1, tooLong, 0);
  EXPECT_EQ(store.size(), 1u);
  EXPECT_TRUE(store.Contains(1, longest, 0));
  EXPECT_FALSE(store.Contains(1, tooLong, 0));
}

TEST(MerrinPluginTest, ServesOnlyBetweenStartAndStop) {
  MerrinPlugin plugin;
  const uint64_t size = 10;
  const Fingerprint fingerprint = FingerprintOf(10);
  IResponseCacheLookup* handle = nullptr;

  EXPECT_EQ(plugin.GetService(kResponseCacheServiceId), nullptr);
  EXPECT_EQ(plugin.Start(), MerrinPlugin::kNotInitialised);
  ASSERT_EQ(plugin.Initialise(0), 0);
  EXPECT_EQ(plugin.GetService(kResponseCacheServiceId), nullptr);
  ASSERT_EQ(plugin.Start(), 0);
  EXPECT_EQ(plugin.GetService(kInternalMonitorServiceId), nullptr);
  auto* service = static_cast<IResponseCacheService*>(plugin.GetService(kResponseCacheServiceId));
  ASSERT_NE(service, nullptr);
  CacheStore(service, size, fingerprint, 1);
  EXPECT_TRUE(CacheLookup(service, size, fingerprint, 1));

  plugin.Stop();
  EXPECT_EQ(plugin.GetService(kResponseCacheServiceId), nullptr);
  EXPECT_FALSE(service->OpenLookupHandle(&handle));
  CacheStore(service, size, FingerprintOf(11), 1);
  plugin.Uninitialise();
  ASSERT_EQ(plugin.Initialise(0), 0);
  ASSERT_EQ(plugin.Start(), 0);
  // Uninitialise emptied the store.
  EXPECT_FALSE(CacheLookup(service, size, fingerprint, 1));
  EXPECT_FALSE(CacheLookup(service, size, FingerprintOf(11), 1));
}

// Merrin.so as the client loads it.
class MerrinLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        StartPlugin(module_, service_, test::MerrinPath(), L"Merrin", kResponseCacheServiceId));
  }
  void TearDown() override { StopPlugin(module_, service_); }

  ServPluginModule module_;
  IResponseCacheService* service_ = nullptr;
};

TEST_F(MerrinLibraryTest, AStoredVerdictIsFoundAgain) {
  const Fingerprint fingerprint = FingerprintOf(42);
  EXPECT_FALSE(CacheLookup(service_, 42, fingerprint, 9));
  CacheStore(service_, 42, fingerprint, 9);
  EXPECT_TRUE(CacheLookup(service_, 42, fingerprint, 9));
  EXPECT_FALSE(CacheLookup(service_, 43, fingerprint, 9));
  EXPECT_FALSE(CacheLookup(service_, 42, FingerprintOf(43), 9));
  EXPECT_FALSE(CacheLookup(service_, 42, fingerprint, 10));
}

TEST_F(MerrinLibraryTest, HoldsAtMostItsCapacityDroppingTheOldest) {
  const uint32_t count = static_cast<uint32_t>(ResponseStore::kCapacity) + 1;
  for (uint32_t n = 0; n < count; ++n) {
    CacheStore(service_, n, FingerprintOf(n), 0);
  }
  EXPECT_FALSE(CacheLookup(service_, 0, FingerprintOf(0), 0));
  EXPECT_TRUE(CacheLookup(service_, 1, FingerprintOf(1), 0));
  EXPECT_TRUE(CacheLookup(service_, count - 1, FingerprintOf(count - 1), 0));
}

TEST_F(MerrinLibraryTest, ManyThreadsLookUpAndStoreAtOnce) {
  constexpr uint32_t kThreads = 4;
  constexpr uint32_t kPerThread = 2000;
  std::atomic<uint32_t> misses{0};
  std::vector<std::thread> threads;
  for (uint32_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t, &misses] {
      for (uint32_t i = 0; i < kPerThread; ++i) {
        const uint32_t n = t * kPerThread + i;
        CacheStore(service_, n, FingerprintOf(n), t);
        if (!CacheLookup(service_, n, FingerprintOf(n), t)) {
          ++misses;
        }
        // Entries of the other threads, present or not yet.
        CacheLookup(service_, n + kPerThread, FingerprintOf(n + kPerThread), t + 1);
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(misses, 0u);
  for (uint32_t n = 0; n < kThreads * kPerThread; ++n) {
    ASSERT_TRUE(CacheLookup(service_, n, FingerprintOf(n), n / kPerThread)) << n;
  }
}

TEST(MerrinLibraryLoadTest, MakesOnlyTheMerrinObject) {
  ServPluginModule module;
  EXPECT_NE(module.Load(test::MerrinPath(), L"InternalOstrel", kServPluginId), 0);
  EXPECT_FALSE(module.loaded());
  EXPECT_EQ(module.Load(test::MerrinPath(), L"Merrin", kMonitorReceiverId), 632);
  EXPECT_EQ(module.Load(test::MerrinPath(), L"Merrin", kServPluginId), 0);
}

}  // namespace
}  // namespace sondrel
