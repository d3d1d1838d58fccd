// Merrin.so as the client loads it, installed with its settings file in a directory of its own:
// entries outlive the object and the library, several processes share them, and its bound and
// its fall back to memory come from the settings file.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "companion_test_paths.h"
#include "companions/i_response_cache.h"
#include "companions/response_cache_calls.h"
#include "companions/serv_plugin.h"
#include "merrin_test_support.h"
#include "platform/shell_command.h"
#include "platform/utf8.h"
#include "support/temp_dir.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;
using test::FingerprintOf;

class MerrinLibraryTest : public ::testing::Test {
 protected:
  // Installs Merrin.so with a settings file that keeps its cache below the test directory.
  void SetUp() override { Install(test::MerrinSettings(cache())); }
  void TearDown() override { Stop(); }

  void Install(const std::string& settings) {
    fs::create_directories(library().parent_path());
    fs::copy_file(platform::ToUtf8(test::MerrinPath()), library(),
                  fs::copy_options::overwrite_existing);
    directory_.Write("lib/Merrin.conf", settings);
  }
  bool Start() {
    return StartPlugin(module_, service_, library().wstring(), L"Merrin", kResponseCacheServiceId);
  }
  void Stop() { StopPlugin(module_, service_); }

  fs::path library() const { return directory_.path() / "lib" / "Merrin.so"; }
  fs::path cache() const { return directory_.path() / "cache"; }

  // Runs the peer program on the same library; its standard error goes to `errors` when given.
  int RunPeer(const std::string& commands, const fs::path& errors = "/dev/null") const {
    return platform::RunShellCommand(Peer(commands) + " 2> '" + errors.string() + "'");
  }
  std::string Peer(const std::string& commands) const {
    return "'" + std::string(SONDREL_MERRIN_PEER) + "' '" + library().string() + "' " + commands;
  }

  bool Found(uint32_t n, uint32_t cacheValue = 1) const {
    return CacheLookup(service_, n, FingerprintOf(n), cacheValue);
  }
  void StoreEntry(uint32_t n, uint32_t cacheValue = 1) const {
    CacheStore(service_, n, FingerprintOf(n), cacheValue);
  }

  test::TempDir directory_;
  ServPluginModule module_;
  IResponseCacheService* service_ = nullptr;
};

TEST_F(MerrinLibraryTest, AStoredVerdictIsFoundAgain) {
  ASSERT_TRUE(Start());
  const auto fingerprint = FingerprintOf(42);
  EXPECT_FALSE(CacheLookup(service_, 42, fingerprint, 9));
  CacheStore(service_, 42, fingerprint, 9);
  EXPECT_TRUE(CacheLookup(service_, 42, fingerprint, 9));
  EXPECT_FALSE(CacheLookup(service_, 43, fingerprint, 9));
  EXPECT_FALSE(CacheLookup(service_, 42, FingerprintOf(43), 9));
  EXPECT_FALSE(CacheLookup(service_, 42, fingerprint, 10));
}

TEST_F(MerrinLibraryTest, AnEntryOutlivesTheObjectAndTheLibrary) {
  ASSERT_TRUE(Start());
  StoreEntry(7);
  Stop();
  EXPECT_FALSE(module_.loaded());

  ASSERT_TRUE(Start());
  EXPECT_TRUE(Found(7));
  EXPECT_FALSE(Found(8));
  EXPECT_TRUE(fs::exists(cache() / "data.mdb"));
}

TEST_F(MerrinLibraryTest, TwoProcessesShareEntriesWhileBothHaveTheCacheOpen) {
  ASSERT_TRUE(Start());
  for (uint32_t n = 0; n < 100; ++n) {
    StoreEntry(n);
  }
  EXPECT_EQ(RunPeer("find 0 100 miss 100 100 store 100 100"), 0);
  for (uint32_t n = 100; n < 200; ++n) {
    ASSERT_TRUE(Found(n)) << n;
  }

  // Two peers and this process store and look up at the same time.
  std::atomic<int> peers{-1};
  std::thread other([this, &peers] {
    peers = platform::RunShellCommand(Peer("store 1000 200 find 1000 200") + " & first=$!; " +
                                      Peer("store 2000 200 find 2000 200") +
                                      "; second=$?; wait $first && [ $second -eq 0 ]");
  });
  for (uint32_t n = 3000; n < 3200; ++n) {
    StoreEntry(n);
    Found(n - 2000);
  }
  other.join();
  EXPECT_EQ(peers, 0);
  for (const uint32_t first : {1000u, 2000u, 3000u}) {
    for (uint32_t n = first; n < first + 200; ++n) {
      ASSERT_TRUE(Found(n)) << n;
    }
  }
  EXPECT_EQ(RunPeer("find 3000 200"), 0);
}

TEST_F(MerrinLibraryTest, TheBoundOfTheSettingsFileDropsTheOldest) {
  Install(test::MerrinSettings(cache(), "max_entries = 100\n"));
  ASSERT_TRUE(Start());
  for (uint32_t n = 0; n <= 100; ++n) {
    StoreEntry(n);
  }
  EXPECT_FALSE(Found(0));
  EXPECT_TRUE(Found(1));
  EXPECT_TRUE(Found(100));
}

TEST_F(MerrinLibraryTest, AnUnusableDirectoryWritesOneLineAndCachesInMemory) {
  directory_.Write("file", "not a directory");
  Install(test::MerrinSettings(directory_.path() / "file" / "cache"));
  const fs::path errors = directory_.path() / "errors.txt";
  EXPECT_EQ(RunPeer("store 0 10 find 0 10 miss 10 1", errors), 0);
  const std::string text = test::ReadFile(errors);
  EXPECT_EQ(text.find("Merrin: the cache directory "), 0u) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

TEST_F(MerrinLibraryTest, ManyThreadsLookUpAndStoreAtOnce) {
  ASSERT_TRUE(Start());
  constexpr uint32_t kThreads = 8;
  constexpr uint32_t kPerThread = 250;
  std::atomic<uint32_t> misses{0};
  std::vector<std::thread> threads;
  for (uint32_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t, &misses] {
      for (uint32_t i = 0; i < kPerThread; ++i) {
        const uint32_t n = t * kPerThread + i;
        StoreEntry(n, t);
        if (!Found(n, t)) {
          ++misses;
        }
        // Entries of the other threads, present or not yet.
        Found(n + kPerThread, t + 1);
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(misses, 0u);
  for (uint32_t n = 0; n < kThreads * kPerThread; ++n) {
    ASSERT_TRUE(Found(n, n / kPerThread)) << n;
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
