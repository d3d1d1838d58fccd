#include "lmdb_store.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <limits>
#include <map>
#include <mutex>
#include <thread>

namespace sondrel::merrin {
namespace {

constexpr size_t kIndexKeySize = 8 + kCacheKeySize;
using IndexKey = std::array<uint8_t, kIndexKeySize>;

// What one entry takes in the map, both databases with half-full pages and room for the pages
// that readers still see while a write replaces them, and what the map needs besides.
constexpr uint64_t kMapBytesPerEntry = 512;
constexpr uint64_t kMapBaseBytes = 16 << 20;
// Reader slots of the lock file, shared by all processes, and the reset read transactions one
// process keeps for its next lookups.
constexpr unsigned kMaxReaders = 512;
constexpr size_t kMostIdleReadersPerShard = 4;
// A write removes at most this many expired entries, and this many entries beyond those it
// adds when the bound was lowered, so that no write runs long.
constexpr uint64_t kExpiredPerWrite = 64;
constexpr uint64_t kExtraEvictionsPerWrite = 4096;
constexpr uint64_t kEvictionsWhenTheMapFills = 64;
// Entries written in one transaction at most.
constexpr size_t kMostPerWrite = 10000;

// One LMDB environment per directory and process: LMDB's locks are lost when a process opens
// the same files twice and closes one of them.
struct Registry {
  std::recursive_mutex mutex;
  std::condition_variable_any closed;
  std::map<std::string, std::weak_ptr<LmdbStore>> open;
};

Registry& OpenStores() {
  static Registry registry;
  return registry;
}

MDB_val ValueOf(const uint8_t* bytes, size_t size) {
  return MDB_val{size, const_cast<uint8_t*>(bytes)};
}

void StoreLittle64(uint64_t value, uint8_t* out) {
  for (int i = 0; i < 8; ++i) {
    out[i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

uint64_t LoadLittle64(const void* data) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) {
    value = (value << 8) | bytes[i];
  }
  return value;
}

// The index key: the store time most significant byte first, so that keys sort by time.
IndexKey MakeIndexKey(uint64_t stored, const CacheKey& key) {
  IndexKey indexKey{};
  for (int i = 0; i < 8; ++i) {
    indexKey[i] = static_cast<uint8_t>(stored >> (8 * (7 - i)));
  }
  std::copy(key.begin(), key.end(), indexKey.begin() + 8);
  return indexKey;
}

uint64_t IndexTime(const void* data) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  uint64_t value = 0;
  for (int i = 0; i < 8; ++i) {
    value = (value << 8) | bytes[i];
  }
  return value;
}

}  // namespace

size_t LmdbStore::MapSizeFor(uint64_t maxEntries) {
  const uint64_t largest = std::numeric_limits<size_t>::max() / 2;
  const uint64_t entries =
      std::min<uint64_t>(maxEntries, (largest - kMapBaseBytes) / kMapBytesPerEntry);
  return static_cast<size_t>(kMapBaseBytes + entries * kMapBytesPerEntry);
}

std::shared_ptr<LmdbStore> LmdbStore::Open(const Options& options, std::string& error) {
  Registry& registry = OpenStores();
  std::unique_lock lock(registry.mutex);
  for (auto found = registry.open.find(options.directory); found != registry.open.end();
       found = registry.open.find(options.directory)) {
    if (std::shared_ptr<LmdbStore> store = found->second.lock()) {
      return store;
    }
    // The last user is closing it: wait until its files are closed.
    registry.closed.wait(lock);
  }
  std::unique_ptr<LmdbStore> created(new LmdbStore(options));
  const int result = created->OpenEnvironment(
      options.mapSize != 0 ? options.mapSize : MapSizeFor(options.maxEntries));
  if (result != 0) {
    error = mdb_strerror(result);
    return nullptr;
  }
  std::shared_ptr<LmdbStore> store(created.release(), [](LmdbStore* closing) {
    Registry& stores = OpenStores();
    std::lock_guard closeLock(stores.mutex);
    stores.open.erase(closing->directory_);
    delete closing;
    stores.closed.notify_all();
  });
  registry.open[options.directory] = store;
  return store;
}

LmdbStore::LmdbStore(const Options& options)
    : directory_(options.directory),
      maxEntries_(std::max<uint64_t>(options.maxEntries, 1)),
      maxAge_(ToMicros(options.maxAge)),
      clock_(options.clock),
      log_(options.log) {
  for (ReaderShard& shard : readerShards_) {
    shard.idle.reserve(kMostIdleReadersPerShard);
  }
}

LmdbStore::~LmdbStore() {
  for (ReaderShard& shard : readerShards_) {
    for (MDB_txn* txn : shard.idle) {
      mdb_txn_abort(txn);
    }
  }
  if (env_ != nullptr) {
    mdb_env_close(env_);
  }
}

int LmdbStore::OpenEnvironment(size_t mapSize) {
  int result = mdb_env_create(&env_);
  if (result != 0) {
    env_ = nullptr;
    return result;
  }
  // MDB_NOTLS: read transactions belong to lookups, not to threads, as host threads come and
  // go. MDB_NOMETASYNC: one flush per write; a system crash may lose the last write but never
  // damages the database.
  if ((result = mdb_env_set_maxdbs(env_, 2)) != 0 ||
      (result = mdb_env_set_maxreaders(env_, kMaxReaders)) != 0 ||
      (result = mdb_env_set_mapsize(env_, mapSize)) != 0 ||
      (result = mdb_env_open(env_, directory_.c_str(), MDB_NOTLS | MDB_NOMETASYNC | MDB_NORDAHEAD,
                             0664)) != 0) {
    return result;
  }
  // Reader slots left behind by processes that ended without closing.
  int stale = 0;
  mdb_reader_check(env_, &stale);
  MDB_txn* txn = nullptr;
  if ((result = mdb_txn_begin(env_, nullptr, 0, &txn)) != 0) {
    return result;
  }
  if ((result = mdb_dbi_open(txn, "entries", MDB_CREATE, &entries_)) != 0 ||
      (result = mdb_dbi_open(txn, "by_time", MDB_CREATE, &byTime_)) != 0) {
    mdb_txn_abort(txn);
    return result;
  }
  if ((result = mdb_txn_commit(txn)) != 0) {
    return result;
  }
  MDB_envinfo info{};
  MDB_stat stat{};
  if ((result = mdb_env_info(env_, &info)) != 0 || (result = mdb_env_stat(env_, &stat)) != 0) {
    return result;
  }
  mapPages_ = info.me_mapsize / std::max<unsigned>(stat.ms_psize, 1);
  return 0;
}

LmdbStore::ReaderShard& LmdbStore::ThisThreadsShard() {
  return readerShards_[std::hash<std::thread::id>()(std::this_thread::get_id()) %
                       readerShards_.size()];
}

MDB_txn* LmdbStore::AcquireReader(int& result) {
  MDB_txn* txn = nullptr;
  {
    ReaderShard& shard = ThisThreadsShard();
    std::lock_guard lock(shard.mutex);
    if (!shard.idle.empty()) {
      txn = shard.idle.back();
      shard.idle.pop_back();
    }
  }
  if (txn != nullptr) {
    if ((result = mdb_txn_renew(txn)) == 0) {
      return txn;
    }
    mdb_txn_abort(txn);
    txn = nullptr;
  }
  result = mdb_txn_begin(env_, nullptr, MDB_RDONLY, &txn);
  if (result == MDB_READERS_FULL) {
    int stale = 0;
    mdb_reader_check(env_, &stale);
    result = mdb_txn_begin(env_, nullptr, MDB_RDONLY, &txn);
  }
  return result == 0 ? txn : nullptr;
}

void LmdbStore::ReleaseReader(MDB_txn* txn) {
  mdb_txn_reset(txn);
  {
    ReaderShard& shard = ThisThreadsShard();
    std::lock_guard lock(shard.mutex);
    if (shard.idle.size() < kMostIdleReadersPerShard) {
      shard.idle.push_back(txn);  // never allocates: the room was reserved
      return;
    }
  }
  mdb_txn_abort(txn);
}

bool LmdbStore::Contains(const CacheKey& key) {
  int result = 0;
  MDB_txn* txn = AcquireReader(result);
  if (txn == nullptr) {
    ReportFailure(result);
    return false;
  }
  MDB_val keyValue = ValueOf(key.data(), key.size());
  MDB_val stored{};
  result = mdb_get(txn, entries_, &keyValue, &stored);
  const bool readable = result == 0 && stored.mv_size == 8;
  const uint64_t storedAt = readable ? LoadLittle64(stored.mv_data) : 0;
  ReleaseReader(txn);
  if (result != 0 && result != MDB_NOTFOUND) {
    ReportFailure(result);
  }
  return readable && IsFresh(storedAt, clock_(), maxAge_);
}

void LmdbStore::Store(const CacheKey& key) {
  Store(std::span<const CacheKey>(&key, 1));
}

void LmdbStore::Store(std::span<const CacheKey> keys) {
  std::unique_lock lock(writeMutex_);
  queued_.insert(queued_.end(), keys.begin(), keys.end());
  queuedCount_ += keys.size();
  const uint64_t ticket = queuedCount_;
  while (writtenCount_ < ticket) {
    if (writing_) {
      written_.wait(lock);
      continue;
    }
    writing_ = true;
    std::vector<CacheKey> batch;
    batch.swap(queued_);
    const uint64_t through = queuedCount_;
    lock.unlock();
    const int result = WriteBatch(batch);
    if (result != 0) {
      ReportFailure(result);
    }
    lock.lock();
    writing_ = false;
    writtenCount_ = through;
    written_.notify_all();
  }
}

int LmdbStore::WriteBatch(const std::vector<CacheKey>& batch) {
  int result = 0;
  for (size_t first = 0; first < batch.size() && result == 0; first += kMostPerWrite) {
    result = WriteChunk(std::span<const CacheKey>(batch).subspan(
        first, std::min(kMostPerWrite, batch.size() - first)));
  }
  return result;
}

int LmdbStore::WriteChunk(std::span<const CacheKey> batch) {
  int result = WriteBatchOnce(batch);
  if (result == MDB_MAP_FULL) {
    // Old pages stay in use while a reader still sees them; readers of processes that ended
    // without closing hold them for nothing.
    int stale = 0;
    if (mdb_reader_check(env_, &stale) == 0 && stale > 0) {
      result = WriteBatchOnce(batch);
    }
  }
  return result;
}

int LmdbStore::WriteBatchOnce(std::span<const CacheKey> batch) {
  MDB_txn* txn = nullptr;
  int result = mdb_txn_begin(env_, nullptr, 0, &txn);
  if (result != 0) {
    return result;
  }
  const uint64_t now = clock_();
  for (const CacheKey& key : batch) {
    if ((result = PutEntry(txn, key, now)) != 0) {
      break;
    }
  }
  if (result == 0 && now >= maxAge_) {
    result = RemoveOldest(txn, kExpiredPerWrite, now - maxAge_);
  }
  if (result == 0) {
    result = RemoveOverBound(txn, batch.size());
  }
  if (result != 0) {
    mdb_txn_abort(txn);
    return result;
  }
  return mdb_txn_commit(txn);
}

int LmdbStore::RemoveOverBound(MDB_txn* txn, size_t batchSize) {
  MDB_stat entries{};
  MDB_stat byTime{};
  int result = mdb_stat(txn, entries_, &entries);
  if (result != 0 || (result = mdb_stat(txn, byTime_, &byTime)) != 0) {
    return result;
  }
  uint64_t over = entries.ms_entries > maxEntries_ ? entries.ms_entries - maxEntries_ : 0;
  // Writes need free pages besides the data: past half the map, the oldest entries make room
  // whatever the bound.
  const uint64_t dataPages = entries.ms_branch_pages + entries.ms_leaf_pages +
                             byTime.ms_branch_pages + byTime.ms_leaf_pages;
  if (dataPages > mapPages_ / 2) {
    over = std::max<uint64_t>(over, batchSize + kEvictionsWhenTheMapFills);
  }
  return over == 0
             ? 0
             : RemoveOldest(txn, std::min<uint64_t>(over, batchSize + kExtraEvictionsPerWrite),
                            std::numeric_limits<uint64_t>::max());
}

int LmdbStore::PutEntry(MDB_txn* txn, const CacheKey& key, uint64_t now) {
  MDB_val keyValue = ValueOf(key.data(), key.size());
  MDB_val previous{};
  int result = mdb_get(txn, entries_, &keyValue, &previous);
  if (result == 0 && previous.mv_size == 8) {
    // Stored before: its place in the order of storing moves to now.
    const IndexKey old = MakeIndexKey(LoadLittle64(previous.mv_data), key);
    MDB_val oldValue = ValueOf(old.data(), old.size());
    result = mdb_del(txn, byTime_, &oldValue, nullptr);
  }
  if (result != 0 && result != MDB_NOTFOUND) {
    return result;
  }
  std::array<uint8_t, 8> storedAt{};
  StoreLittle64(now, storedAt.data());
  MDB_val storedValue = ValueOf(storedAt.data(), storedAt.size());
  if ((result = mdb_put(txn, entries_, &keyValue, &storedValue, 0)) != 0) {
    return result;
  }
  const IndexKey indexKey = MakeIndexKey(now, key);
  MDB_val indexValue = ValueOf(indexKey.data(), indexKey.size());
  MDB_val empty{0, nullptr};
  return mdb_put(txn, byTime_, &indexValue, &empty, 0);
}

int LmdbStore::RemoveOldest(MDB_txn* txn, uint64_t count, uint64_t storedAtOrBefore) {
  MDB_cursor* cursor = nullptr;
  int result = mdb_cursor_open(txn, byTime_, &cursor);
  if (result != 0) {
    return result;
  }
  for (uint64_t done = 0; done < count; ++done) {
    MDB_val indexValue{};
    MDB_val unused{};
    if ((result = mdb_cursor_get(cursor, &indexValue, &unused, MDB_FIRST)) != 0) {
      break;
    }
    if (indexValue.mv_size == kIndexKeySize) {
      if (IndexTime(indexValue.mv_data) > storedAtOrBefore) {
        break;
      }
      // A copy: the page the cursor points into may change while the entry goes.
      CacheKey key{};
      std::copy_n(static_cast<const uint8_t*>(indexValue.mv_data) + 8, key.size(), key.begin());
      MDB_val keyValue = ValueOf(key.data(), key.size());
      result = mdb_del(txn, entries_, &keyValue, nullptr);
      if (result != 0 && result != MDB_NOTFOUND) {
        break;
      }
    }
    if ((result = mdb_cursor_del(cursor, 0)) != 0) {
      break;
    }
  }
  mdb_cursor_close(cursor);
  return result == MDB_NOTFOUND ? 0 : result;
}

size_t LmdbStore::size() {
  int result = 0;
  MDB_txn* txn = AcquireReader(result);
  if (txn == nullptr) {
    return 0;
  }
  MDB_stat stat{};
  result = mdb_stat(txn, entries_, &stat);
  ReleaseReader(txn);
  return result == 0 ? stat.ms_entries : 0;
}

void LmdbStore::ReportFailure(int result) {
  if (log_ && !failureReported_.exchange(true)) {
    log_("Merrin: the cache database in " + directory_ + " failed (" + mdb_strerror(result) + ")");
  }
}

}  // namespace sondrel::merrin
