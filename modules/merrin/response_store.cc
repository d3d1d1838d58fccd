#include "response_store.h"

#include <algorithm>
#include <mutex>

namespace sondrel::merrin {

ResponseStore::ResponseStore(size_t capacity) : capacity_(std::max<size_t>(capacity, 1)) {}

size_t ResponseStore::KeyHash::operator()(const Key& key) const {
  // FNV-1a over the fields that make an entry.
  uint64_t hash = 14695981039346656037ull;
  auto mix = [&hash](uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      hash ^= (value >> (8 * i)) & 0xFF;
      hash *= 1099511628211ull;
    }
  };
  mix(key.fileSize, 8);
  mix(key.cacheValue, 4);
  for (uint32_t i = 0; i < key.length; ++i) {
    mix(key.fingerprint[i], 1);
  }
  return static_cast<size_t>(hash);
}

bool ResponseStore::MakeKey(uint64_t fileSize, std::span<const uint8_t> fingerprint,
                            uint32_t cacheValue, Key& key) {
  if (fingerprint.size() > kMaxFingerprintLength) {
    return false;
  }
  key.fileSize = fileSize;
  key.cacheValue = cacheValue;
  key.length = static_cast<uint32_t>(fingerprint.size());
  std::copy(fingerprint.begin(), fingerprint.end(), key.fingerprint.begin());
  return true;
}

bool ResponseStore::Contains(uint64_t fileSize, std::span<const uint8_t> fingerprint,
                             uint32_t cacheValue) const {
  Key key;
  if (!MakeKey(fileSize, fingerprint, cacheValue, key)) {
    return false;
  }
  std::shared_lock lock(mutex_);
  return entries_.contains(key);
}

void ResponseStore::Store(uint64_t fileSize, std::span<const uint8_t> fingerprint,
                          uint32_t cacheValue) {
  Key key;
  if (!MakeKey(fileSize, fingerprint, cacheValue, key)) {
    return;
  }
  std::unique_lock lock(mutex_);
  if (auto found = entries_.find(key); found != entries_.end()) {
    order_.splice(order_.end(), order_, found->second);
    return;
  }
  if (entries_.size() >= capacity_) {
    entries_.erase(order_.front());
    order_.pop_front();
  }
  order_.push_back(key);
  try {
    entries_.emplace(key, std::prev(order_.end()));
  } catch (...) {
    order_.pop_back();
    throw;
  }
}

void ResponseStore::Clear() {
  std::unique_lock lock(mutex_);
  entries_.clear();
  order_.clear();
}

size_t ResponseStore::size() const {
  std::shared_lock lock(mutex_);
  return entries_.size();
}

}  // namespace sondrel::merrin
