// The "Merrin" plug-in: its start and stop protocol, bad arguments, and the fall back to memory
// when the cache directory cannot be used.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "companions/guid.h"
#include "companions/i_response_cache.h"
#include "companions/response_cache_calls.h"
#include "merrin_plugin.h"
#include "merrin_test_support.h"
#include "support/temp_dir.h"

namespace sondrel::test {
namespace {

namespace fs = std::filesystem;
using merrin::MerrinPlugin;

// A plug-in whose settings file puts its cache at `cache` and whose lines go to `lines`.
merrin::StoreEnvironment EnvironmentFor(const TempDir& directory, const fs::path& cache,
                                        std::vector<std::string>& lines) {
  merrin::StoreEnvironment environment;
  environment.settingsPath = directory.Write("Merrin.conf", MerrinSettings(cache)).wstring();
  environment.log = [&lines](const std::string& line) { lines.push_back(line); };
  return environment;
}

IResponseCacheService* Started(MerrinPlugin& plugin) {
  if (plugin.Initialise(0) != 0 || plugin.Start() != 0) {
    return nullptr;
  }
  return static_cast<IResponseCacheService*>(plugin.GetService(kResponseCacheServiceId));
}

TEST(MerrinPluginTest, ServesOnlyBetweenStartAndStopAndKeepsItsEntriesAcrossARestart) {
  TempDir directory;
  std::vector<std::string> lines;
  MerrinPlugin plugin(EnvironmentFor(directory, directory.path() / "cache", lines));
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
  EXPECT_TRUE(CacheLookup(service, size, fingerprint, 1));
  EXPECT_FALSE(CacheLookup(service, size, FingerprintOf(11), 1));
  EXPECT_TRUE(lines.empty());
  EXPECT_TRUE(fs::exists(directory.path() / "cache" / "data.mdb"));
}

TEST(MerrinPluginTest, BadArgumentsNeitherCrashNorStoreAnythingAnotherFileCouldMatch) {
  TempDir directory;
  std::vector<std::string> lines;
  MerrinPlugin plugin(EnvironmentFor(directory, directory.path() / "cache", lines));
  IResponseCacheService* service = Started(plugin);
  ASSERT_NE(service, nullptr);
  IResponseCacheLookup* lookup = nullptr;
  ASSERT_TRUE(service->OpenLookupHandle(&lookup));

  const uint64_t size = 5;
  // A byte past the fingerprint, so that a 17-byte read stays inside the array.
  const std::array<uint8_t, 17> bytes = [] {
    std::array<uint8_t, 17> fingerprintAndMore{};
    const Fingerprint first = FingerprintOf(5);
    std::copy(first.begin(), first.end(), fingerprintAndMore.begin());
    return fingerprintAndMore;
  }();
  const uint8_t* fingerprint = bytes.data();
  struct Case {
    const char* label;
    const uint64_t* size;
    const uint8_t* fingerprint;
    uint32_t length;
  };
  const Case cases[] = {
      {"null size", nullptr, fingerprint, 16},
      {"null fingerprint", &size, nullptr, 16},
      {"null fingerprint of no length", &size, nullptr, 0},
      {"no fingerprint bytes", &size, fingerprint, 0},
      {"a prefix of the fingerprint", &size, fingerprint, 15},
      {"a byte more than the fingerprint", &size, fingerprint, 17},
      {"a length past the bytes", &size, fingerprint, 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    for (const uint32_t cacheValue : {0u, 1u, 0xFFFFFFFFu}) {
      service->Store(c.size, c.fingerprint, c.length, cacheValue);
      uint8_t found = 0xAA;
      EXPECT_FALSE(lookup->Lookup(c.size, c.fingerprint, c.length, cacheValue, &found));
    }
  }
  // None of those made an entry for the file they half named.
  for (const uint32_t cacheValue : {0u, 1u, 0xFFFFFFFFu}) {
    uint8_t found = 0xAA;
    ASSERT_TRUE(lookup->Lookup(&size, fingerprint, 16, cacheValue, &found));
    EXPECT_EQ(found, 0);
  }
  EXPECT_FALSE(lookup->Lookup(&size, fingerprint, 16, 0, nullptr));
  service->CloseLookupHandle(lookup);
  plugin.Stop();
  plugin.Uninitialise();
}

struct Unusable {
  const char* name;
  // Spoils the cache directory below the test directory and returns its path.
  fs::path (*spoil)(const TempDir&);
};

const Unusable kUnusable[] = {
    {"BelowAPlainFile",
     [](const TempDir& directory) {
       directory.Write("file", "not a directory");
       return directory.path() / "file" / "cache";
     }},
    {"ADamagedDatabase",
     [](const TempDir& directory) {
       directory.Write("cache/data.mdb", std::string(16384, '\xA5'));
       return directory.path() / "cache";
     }},
    {"ADirectoryWhereTheDatabaseGoes",
     [](const TempDir& directory) {
       fs::create_directories(directory.path() / "cache" / "data.mdb");
       return directory.path() / "cache";
     }},
};

void PrintTo(const Unusable& unusable, std::ostream* out) {
  *out << unusable.name;
}

class MerrinFallbackTest : public testing::TestWithParam<Unusable> {};

TEST_P(MerrinFallbackTest, AnUnusableDirectoryLeavesOneLineAndTheCacheInMemory) {
  TempDir directory;
  const fs::path cache = GetParam().spoil(directory);
  std::vector<std::string> lines;
  MerrinPlugin plugin(EnvironmentFor(directory, cache, lines));
  IResponseCacheService* service = Started(plugin);
  ASSERT_NE(service, nullptr);
  for (uint32_t n = 0; n < 10; ++n) {
    CacheStore(service, n, FingerprintOf(n), 1);
  }
  for (uint32_t n = 0; n < 10; ++n) {
    EXPECT_TRUE(CacheLookup(service, n, FingerprintOf(n), 1)) << n;
  }
  EXPECT_FALSE(CacheLookup(service, 10, FingerprintOf(10), 1));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].find("Merrin: the cache directory " + cache.string() + " cannot be used ("),
            0u)
      << lines[0];
  EXPECT_NE(lines[0].find("); responses are cached in memory only"), std::string::npos);
  plugin.Stop();
  plugin.Uninitialise();
}

INSTANTIATE_TEST_SUITE_P(Directories, MerrinFallbackTest, testing::ValuesIn(kUnusable),
                         [](const testing::TestParamInfo<Unusable>& directory) {
                           return std::string(directory.param.name);
                         });

TEST(MerrinReadOnlyTest, AReadOnlyDirectoryLeavesOneLineAndTheCacheInMemory) {
  TempDir directory;
  const fs::path cache = directory.path() / "cache";
  fs::create_directories(cache);
  fs::permissions(cache, fs::perms::owner_read | fs::perms::owner_exec);
  if (std::ofstream(cache / "probe")) {
    GTEST_SKIP() << "this user may write into read-only directories";
  }
  std::vector<std::string> lines;
  MerrinPlugin plugin(EnvironmentFor(directory, cache, lines));
  IResponseCacheService* service = Started(plugin);
  ASSERT_NE(service, nullptr);
  CacheStore(service, 1, FingerprintOf(1), 1);
  EXPECT_TRUE(CacheLookup(service, 1, FingerprintOf(1), 1));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("cannot be used"), std::string::npos) << lines[0];
  plugin.Stop();
  plugin.Uninitialise();
}

}  // namespace
}  // namespace sondrel::test
