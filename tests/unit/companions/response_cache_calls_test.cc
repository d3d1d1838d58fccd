#include "companions/response_cache_calls.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace sondrel {
namespace {

// A service whose answers a test chooses, recording what it was given.
class ScriptedCache final : public IResponseCacheService, public IResponseCacheLookup {
 public:
  virtual ~ScriptedCache() = default;

  bool openResult = true;
  bool handOutHandle = true;
  bool lookupResult = true;
  uint8_t foundByte = 1;

  int opened = 0;
  int looked = 0;
  std::vector<IResponseCacheLookup*> closed;
  uint64_t size = 0;
  std::vector<uint8_t> fingerprint;
  uint32_t cacheValue = 0;
  int stored = 0;

  bool OpenLookupHandle(IResponseCacheLookup** handle) override {
    ++opened;
    *handle = handOutHandle ? this : nullptr;
    return openResult;
  }
  void CloseLookupHandle(IResponseCacheLookup* handle) override { closed.push_back(handle); }
  void Store(const uint64_t* fileSize, const uint8_t* bytes, uint32_t length,
             uint32_t value) override {
    ++stored;
    Remember(fileSize, bytes, length, value);
  }
  bool Lookup(const uint64_t* fileSize, const uint8_t* bytes, uint32_t length, uint32_t value,
              uint8_t* found) override {
    ++looked;
    Remember(fileSize, bytes, length, value);
    *found = foundByte;
    return lookupResult;
  }

 private:
  void Remember(const uint64_t* fileSize, const uint8_t* bytes, uint32_t length, uint32_t value) {
    size = *fileSize;
    fingerprint.assign(bytes, bytes + length);
    cacheValue = value;
  }
};

constexpr std::array<uint8_t, 16> kFingerprint{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
                                               0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10};

struct LookupCase {
  const char* label;
  bool openResult;
  bool handOutHandle;
  bool lookupResult;
  uint8_t foundByte;
  bool expectFound;
  bool expectLookupAndClose;
};

TEST(ResponseCacheCallsTest, OnlyASuccessfulLookupThatSetsFoundIsAHit) {
  const LookupCase cases[] = {
      {"hit", true, true, true, 1, true, true},
      {"found byte clear", true, true, true, 0, false, true},
      {"lookup fails with found set", true, true, false, 1, false, true},
      {"handle cannot be opened", false, true, true, 1, false, false},
      {"success without a handle", true, false, true, 1, false, false},
  };
  for (const LookupCase& c : cases) {
    SCOPED_TRACE(c.label);
    ScriptedCache cache;
    cache.openResult = c.openResult;
    cache.handOutHandle = c.handOutHandle;
    cache.lookupResult = c.lookupResult;
    cache.foundByte = c.foundByte;

    EXPECT_EQ(CacheLookup(&cache, 123456789012ull, kFingerprint, 0xA5A5A5A5u), c.expectFound);
    EXPECT_EQ(cache.opened, 1);
    if (c.expectLookupAndClose) {
      EXPECT_EQ(cache.looked, 1);
      EXPECT_EQ(cache.closed, std::vector<IResponseCacheLookup*>{&cache});
      EXPECT_EQ(cache.size, 123456789012ull);
      EXPECT_EQ(cache.fingerprint, std::vector<uint8_t>(kFingerprint.begin(), kFingerprint.end()));
      EXPECT_EQ(cache.cacheValue, 0xA5A5A5A5u);
    } else {
      EXPECT_EQ(cache.looked, 0);
      EXPECT_TRUE(cache.closed.empty());
    }
    EXPECT_EQ(cache.stored, 0);
  }
}

TEST(ResponseCacheCallsTest, StoreGoesStraightToTheServiceWithoutAHandle) {
  ScriptedCache cache;
  CacheStore(&cache, 77, kFingerprint, 3);
  EXPECT_EQ(cache.stored, 1);
  EXPECT_EQ(cache.opened, 0);
  EXPECT_EQ(cache.size, 77u);
  EXPECT_EQ(cache.fingerprint, std::vector<uint8_t>(kFingerprint.begin(), kFingerprint.end()));
  EXPECT_EQ(cache.cacheValue, 3u);
}

TEST(ResponseCacheCallsTest, WithoutAServiceNothingIsFoundOrStored) {
  EXPECT_FALSE(CacheLookup(nullptr, 1, kFingerprint, 0));
  CacheStore(nullptr, 1, kFingerprint, 0);
}

}  // namespace
}  // namespace sondrel
