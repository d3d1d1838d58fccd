// The response cache in an LMDB environment in a directory, shared by every process that opens
// the same directory and kept across restarts.
//
// Two databases: "entries" maps each 28-byte key to the time it was stored (8 bytes,
// little-endian microseconds), "by_time" holds (store time big-endian, key) for each entry so
// that the oldest entries are found first. Lookups read a snapshot and never wait for a writer.
// Stores from many threads are written together: the thread that finds no write in progress
// writes everything queued so far in one transaction while the others wait for it, so every
// store has been written when it returns.
#pragma once

#include <lmdb.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "cache_store.h"
#include "merrin_settings.h"

namespace sondrel::merrin {

class LmdbStore final : public CacheStore {
 public:
  struct Options {
    std::string directory;  // must exist
    uint64_t maxEntries = 1000000;
    std::chrono::seconds maxAge = std::chrono::hours(24 * 7);
    // The size of the memory map; 0 derives it from maxEntries.
    size_t mapSize = 0;
    Clock clock = SystemClock;
    LogLine log;
  };

  // Opens the environment in the directory, or gives the one this process already has open
  // there, with the options it was opened with (an LMDB environment must be opened once per
  // process). Null on failure, with the reason in `error`.
  static std::shared_ptr<LmdbStore> Open(const Options& options, std::string& error);

  ~LmdbStore() override;
  LmdbStore(const LmdbStore&) = delete;
  LmdbStore& operator=(const LmdbStore&) = delete;

  bool Contains(const CacheKey& key) override;
  void Store(const CacheKey& key) override;
  // Stores many entries with as few writes as possible (to fill a cache quickly).
  void Store(std::span<const CacheKey> keys);

  // The number of entries stored (for tests and the benchmark).
  size_t size();

  // The map size a bound of this many entries needs.
  static size_t MapSizeFor(uint64_t maxEntries);

 private:
  explicit LmdbStore(const Options& options);
  int OpenEnvironment(size_t mapSize);

  MDB_txn* AcquireReader(int& result);
  void ReleaseReader(MDB_txn* txn);

  int WriteBatch(const std::vector<CacheKey>& batch);
  int WriteChunk(std::span<const CacheKey> batch);
  int WriteBatchOnce(std::span<const CacheKey> batch);
  int PutEntry(MDB_txn* txn, const CacheKey& key, uint64_t now);
  // Removes up to `count` of the oldest entries, none stored after `storedAtOrBefore`.
  int RemoveOldest(MDB_txn* txn, uint64_t count, uint64_t storedAtOrBefore);
  int RemoveOverBound(MDB_txn* txn, size_t batchSize);
  void ReportFailure(int result);

  const std::string directory_;
  const uint64_t maxEntries_;
  const uint64_t maxAge_;
  const Clock clock_;
  const LogLine log_;

  MDB_env* env_ = nullptr;
  MDB_dbi entries_ = 0;
  MDB_dbi byTime_ = 0;
  uint64_t mapPages_ = 0;

  // Read transactions that were reset, kept for the next lookups, in a few shards chosen by
  // thread so that threads seldom wait for each other.
  struct ReaderShard {
    alignas(64) std::mutex mutex;
    std::vector<MDB_txn*> idle;
  };
  ReaderShard& ThisThreadsShard();
  std::array<ReaderShard, 8> readerShards_;

  std::mutex writeMutex_;
  std::condition_variable written_;
  std::vector<CacheKey> queued_;
  uint64_t queuedCount_ = 0;   // stores queued since opening
  uint64_t writtenCount_ = 0;  // of those, the ones written (or given up)
  bool writing_ = false;

  std::atomic<bool> failureReported_{false};
};

}  // namespace sondrel::merrin
