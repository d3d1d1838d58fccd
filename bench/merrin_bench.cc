// The response cache of Merrin.so: lookups and stores per second with 1 and 8 threads, in a
// cache of 10,000 and of 1,000,000 entries, for the LMDB store next to the in-memory store
// (today's structure, sized to hold the same entries) measured in the same run. Lookups find
// entries of the cache at random; each store adds a new entry to a full cache, so that the
// oldest one goes. After the table, one line per case gives the LMDB figure over the in-memory
// one. The LMDB cache lives in a temporary directory on the file system of /tmp (or of
// $TMPDIR), which is where its flushes go.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "cache_key.h"
#include "lmdb_store.h"
#include "memory_store.h"

namespace {

namespace fs = std::filesystem;
using sondrel::merrin::CacheKey;
using sondrel::merrin::CacheStore;
using sondrel::merrin::LmdbStore;
using sondrel::merrin::MemoryStore;

constexpr int64_t kSmall = 10000;
constexpr int64_t kLarge = 1000000;

uint64_t Mix(uint64_t x) {
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Entry n: a file of size n with a fingerprint that looks random.
CacheKey KeyOf(uint64_t n) {
  uint8_t fingerprint[16] = {};
  const uint64_t halves[2] = {Mix(n), Mix(n + 0x9E3779B97F4A7C15ull)};
  for (int i = 0; i < 16; ++i) {
    fingerprint[i] = static_cast<uint8_t>(halves[i / 8] >> (8 * (i % 8)));
  }
  return *sondrel::merrin::MakeCacheKey(&n, fingerprint, 16, 1);
}

enum class Kind { kMemory, kLmdb };

struct Cache {
  std::shared_ptr<CacheStore> store;
  int64_t entries = 0;
  std::atomic<uint64_t> nextNew{0};
};

class Caches {
 public:
  ~Caches() {
    caches_.clear();
    std::error_code ignored;
    for (const fs::path& directory : directories_) {
      fs::remove_all(directory, ignored);
    }
  }

  // The cache of this kind filled with `entries` entries, made on first use.
  Cache& Get(Kind kind, int64_t entries) {
    std::lock_guard lock(mutex_);
    std::unique_ptr<Cache>& cache = caches_[{kind, entries}];
    if (cache == nullptr) {
      cache = Make(kind, entries);
    }
    return *cache;
  }

 private:
  std::unique_ptr<Cache> Make(Kind kind, int64_t entries) {
    auto cache = std::make_unique<Cache>();
    cache->entries = entries;
    cache->nextNew = static_cast<uint64_t>(entries);
    std::vector<CacheKey> keys;
    keys.reserve(static_cast<size_t>(entries));
    for (int64_t n = 0; n < entries; ++n) {
      keys.push_back(KeyOf(static_cast<uint64_t>(n)));
    }
    const auto started = std::chrono::steady_clock::now();
    if (kind == Kind::kMemory) {
      auto store = std::make_shared<MemoryStore>(
          static_cast<size_t>(entries), std::chrono::hours(24 * 7), sondrel::merrin::SystemClock);
      for (const CacheKey& key : keys) {
        store->Store(key);
      }
      cache->store = store;
    } else {
      const fs::path directory =
          fs::temp_directory_path() / ("merrin-bench-" + std::to_string(entries) + "-" +
                                       std::to_string(std::random_device()()));
      fs::create_directories(directory);
      directories_.push_back(directory);
      LmdbStore::Options options;
      options.directory = directory.string();
      options.maxEntries = static_cast<uint64_t>(entries);
      options.log = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
      std::string error;
      std::shared_ptr<LmdbStore> store = LmdbStore::Open(options, error);
      if (store == nullptr) {
        std::fprintf(stderr, "cannot open the LMDB store in %s: %s\n", directory.c_str(),
                     error.c_str());
        return cache;
      }
      store->Store(keys);
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      const auto bytes = fs::file_size(directory / "data.mdb");
      std::fprintf(stderr,
                   "LMDB cache of %lld entries filled in %.2f s: %zu entries, data.mdb %.1f MiB "
                   "(%.0f bytes per entry), map %.1f MiB\n",
                   static_cast<long long>(entries), seconds, store->size(),
                   static_cast<double>(bytes) / 1048576.0,
                   static_cast<double>(bytes) / static_cast<double>(entries),
                   static_cast<double>(LmdbStore::MapSizeFor(options.maxEntries)) / 1048576.0);
      cache->store = store;
    }
    return cache;
  }

  std::mutex mutex_;
  std::map<std::pair<Kind, int64_t>, std::unique_ptr<Cache>> caches_;
  std::vector<fs::path> directories_;
};

Caches& TheCaches() {
  static Caches caches;
  return caches;
}

void Lookups(benchmark::State& state, Kind kind) {
  Cache& cache = TheCaches().Get(kind, state.range(0));
  if (cache.store == nullptr) {
    state.SkipWithError("no store");
    return;
  }
  std::mt19937_64 random(static_cast<uint64_t>(state.thread_index()) + 1);
  std::uniform_int_distribution<uint64_t> pick(0, static_cast<uint64_t>(cache.entries) - 1);
  int64_t found = 0;
  for (auto _ : state) {
    found += cache.store->Contains(KeyOf(pick(random))) ? 1 : 0;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["found"] =
      benchmark::Counter(static_cast<double>(found) / static_cast<double>(state.iterations()),
                         benchmark::Counter::kAvgThreads);
}

void Stores(benchmark::State& state, Kind kind) {
  Cache& cache = TheCaches().Get(kind, state.range(0));
  if (cache.store == nullptr) {
    state.SkipWithError("no store");
    return;
  }
  for (auto _ : state) {
    cache.store->Store(KeyOf(cache.nextNew++));
  }
  state.SetItemsProcessed(state.iterations());
}

void MemoryLookups(benchmark::State& state) {
  Lookups(state, Kind::kMemory);
}
void LmdbLookups(benchmark::State& state) {
  Lookups(state, Kind::kLmdb);
}
void MemoryStores(benchmark::State& state) {
  Stores(state, Kind::kMemory);
}
void LmdbStores(benchmark::State& state) {
  Stores(state, Kind::kLmdb);
}

// Lookups first: the stores change which entries the caches hold.
BENCHMARK(MemoryLookups)->Arg(kSmall)->Arg(kLarge)->Threads(1)->Threads(8)->UseRealTime();
BENCHMARK(LmdbLookups)->Arg(kSmall)->Arg(kLarge)->Threads(1)->Threads(8)->UseRealTime();
BENCHMARK(MemoryStores)->Arg(kSmall)->Arg(kLarge)->Threads(1)->Threads(8)->UseRealTime();
BENCHMARK(LmdbStores)->Arg(kSmall)->Arg(kLarge)->Threads(1)->Threads(8)->UseRealTime();

// Keeps the rate of every run so that the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const auto rate = run.counters.find("items_per_second");
      if (run.run_type == Run::RT_Iteration && !run.error_occurred && rate != run.counters.end()) {
        rates_[run.benchmark_name()] = rate->second.value;
      }
    }
  }

  void PrintRatios() const {
    for (const auto& [name, lmdb] : rates_) {
      if (name.rfind("Lmdb", 0) != 0) {
        continue;
      }
      const auto memory = rates_.find("Memory" + name.substr(4));
      if (memory != rates_.end() && memory->second > 0) {
        std::printf("%-36s %12.0f per second, %.3fx the in-memory store\n", name.c_str(), lmdb,
                    lmdb / memory->second);
      }
    }
  }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
