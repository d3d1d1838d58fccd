// The shared cache on Redis: entries written by one cache are read by another for the same size,
// fingerprint and database version only; a Redis that is not there, answers nonsense, trickles,
// floods, never answers or goes away mid-run costs each call at most a short bound, counts as a
// miss, and is reported once.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "server/redis_cache.h"
#include "support/scan_server/fake_redis.h"
#include "support/scan_server/redis_process.h"

namespace sondrel::server {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kTimeout{100};
// What a call may take beyond the time-out on a busy machine.
constexpr milliseconds kSlack{400};

CacheKey Key(uint64_t size, uint8_t first) {
  CacheKey key;
  key.fileSize = size;
  key.fingerprint[0] = first;
  key.fingerprint[15] = 0xAB;
  return key;
}

RedisCacheSettings SettingsFor(uint16_t port, milliseconds retryAfter = milliseconds(200)) {
  RedisCacheSettings settings;
  settings.address = {"127.0.0.1", port};
  settings.timeout = kTimeout;
  settings.expiry = std::chrono::seconds(3600);
  settings.retryAfter = retryAfter;
  return settings;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

TEST(RedisUrlTest, TakesHostAndPortAndRefusesTheRest) {
  struct Case {
    const char* url;
    bool valid;
    const char* host;
    uint16_t port;
  };
  const Case cases[] = {
      {"redis://127.0.0.1:6390", true, "127.0.0.1", 6390},
      {"redis://cache.example:7000/", true, "cache.example", 7000},
      {"redis://localhost", true, "localhost", 6379},
      {"redis://[::1]:6391", true, "::1", 6391},
      {"redis://[::1]", true, "::1", 6379},
      {"http://127.0.0.1:6379", false, "", 0},
      {"redis://", false, "", 0},
      {"redis://host:", false, "", 0},
      {"redis://host:0", false, "", 0},
      {"redis://host:70000", false, "", 0},
      {"redis://host:12ab", false, "", 0},
      {"redis://user@host:1", false, "", 0},
      {"redis://[::1:5", false, "", 0},
  };
  for (const Case& c : cases) {
    const std::optional<RedisAddress> address = ParseRedisUrl(c.url);
    ASSERT_EQ(address.has_value(), c.valid) << c.url;
    if (c.valid) {
      EXPECT_EQ(address->host, c.host) << c.url;
      EXPECT_EQ(address->port, c.port) << c.url;
    }
  }
}

class RedisCacheTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!test::RedisProcess::Installed()) {
      GTEST_SKIP() << "redis-server is not installed";
    }
    redis_.emplace();
    ASSERT_TRUE(redis_->ok()) << "redis-server does not start";
  }
  std::optional<test::RedisProcess> redis_;
};

TEST_F(RedisCacheTest, AnEntryOfOneServerAnswersAnotherForTheSameSizeFingerprintAndDatabases) {
  RedisSharedCache writer(SettingsFor(redis_->port()));
  RedisSharedCache reader(SettingsFor(redis_->port()));
  writer.StoreClean(Key(1000, 1), "db-one");
  EXPECT_TRUE(reader.LookupClean(Key(1000, 1), "db-one"));
  EXPECT_FALSE(reader.LookupClean(Key(1001, 1), "db-one")) << "another size";
  EXPECT_FALSE(reader.LookupClean(Key(1000, 2), "db-one")) << "another fingerprint";
  EXPECT_FALSE(reader.LookupClean(Key(1000, 1), "db-two")) << "other databases";
  EXPECT_FALSE(reader.LookupClean(Key(1000, 1), "")) << "databases of unknown version";
  EXPECT_EQ(reader.hits(), 1u);
  EXPECT_EQ(reader.failures(), 0u);

  const std::string key = RedisEntryKey(Key(1000, 1), "db-one");
  const int ttl = std::stoi(redis_->Cli({"TTL", key}));
  EXPECT_GT(ttl, 3000) << "written with its expiry";
  EXPECT_LE(ttl, 3600);
}

TEST_F(RedisCacheTest, AnEntryThatIsNotWhatItsKeySaysIsAMiss) {
  RedisSharedCache cache(SettingsFor(redis_->port()));
  const CacheKey key = Key(2000, 3);
  const std::string name = RedisEntryKey(key, "db");
  const std::string other = RedisEntryValue(Key(2001, 3), "db");
  for (const std::vector<std::string>& change : {std::vector<std::string>{"SET", name, "clean"},
                                                 {"SET", name, other},
                                                 {"SET", name, RedisEntryValue(key, "db") + " "},
                                                 {"DEL", name},
                                                 {"LPUSH", name, RedisEntryValue(key, "db")}}) {
    redis_->Cli({"DEL", name});
    redis_->Cli(change);
    EXPECT_FALSE(cache.LookupClean(key, "db")) << change[0] << " " << change.back();
  }
  redis_->Cli({"DEL", name});
  redis_->Cli({"SET", name, RedisEntryValue(key, "db")});
  EXPECT_TRUE(cache.LookupClean(key, "db")) << "an entry written by another client of ours";
}

TEST_F(RedisCacheTest, ARedisThatGoesAwayIsReportedOnceAndUsedAgainWhenItIsBack) {
  RedisSharedCache cache(SettingsFor(redis_->port(), milliseconds(200)));
  cache.StoreClean(Key(10, 1), "db");
  ASSERT_TRUE(cache.LookupClean(Key(10, 1), "db"));
  redis_->Kill();
  testing::internal::CaptureStderr();
  for (int i = 0; i < 5; ++i) {
    const auto started = Clock::now();
    EXPECT_FALSE(cache.LookupClean(Key(10, 1), "db"));
    cache.StoreClean(Key(11, 1), "db");
    EXPECT_LT(Clock::now() - started, 2 * kTimeout + kSlack);
  }
  ASSERT_TRUE(redis_->Restart());
  std::this_thread::sleep_for(milliseconds(300));
  cache.StoreClean(Key(12, 1), "db");
  EXPECT_TRUE(cache.LookupClean(Key(12, 1), "db")) << "used again after its pause";
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Count(log, "going on with the local cache only"), 1u) << log;
  EXPECT_EQ(Count(log, "answers again"), 1u) << log;
}

TEST(RedisCacheFailureTest, NonsenseSilenceAndAbsenceAreMissesWithinTheBound) {
  struct Case {
    const char* what;
    std::optional<test::FakeRedis::Mode> mode;  // none: nothing listens
  };
  const Case cases[] = {
      {"nothing listens", std::nullopt},
      {"not Redis's protocol", test::FakeRedis::Mode::Garbage},
      {"no answer", test::FakeRedis::Mode::Silent},
      {"an answer that trickles", test::FakeRedis::Mode::Trickle},
      {"an answer of 100 MB", test::FakeRedis::Mode::Flood},
      {"a line without end", test::FakeRedis::Mode::EndlessLine},
      {"two answers to one command", test::FakeRedis::Mode::TwoAnswers},
      {"an error", test::FakeRedis::Mode::ErrorReply},
      {"an array of 2^31-1 elements", test::FakeRedis::Mode::HugeArray},
  };
  for (const Case& c : cases) {
    std::optional<test::FakeRedis> fake;
    if (c.mode) {
      fake.emplace(*c.mode);
    }
    RedisSharedCache cache(
        SettingsFor(fake ? fake->port() : test::UnusedPort(), std::chrono::seconds(30)));
    testing::internal::CaptureStderr();
    for (int i = 0; i < 3; ++i) {
      const auto started = Clock::now();
      EXPECT_FALSE(cache.LookupClean(Key(5, 5), "db")) << c.what;
      cache.StoreClean(Key(5, 5), "db");
      EXPECT_LT(Clock::now() - started, 2 * kTimeout + kSlack) << c.what;
    }
    const std::string log = testing::internal::GetCapturedStderr();
    // Each kind of problem is reported once: an error answer, say, and the connection then closed.
    std::set<std::string> reports;
    size_t lines = 0;
    std::istringstream logLines(log);
    for (std::string line; std::getline(logLines, line);) {
      if (line.find("shared cache redis://127.0.0.1:") != std::string::npos) {
        reports.insert(line);
        ++lines;
      }
    }
    EXPECT_GE(lines, 1u) << c.what;
    EXPECT_EQ(reports.size(), lines) << c.what << "\n" << log;
    EXPECT_GE(cache.failures(), 1u) << c.what;
  }
}

TEST_F(RedisCacheTest, ManyThreadsShareTheConnections) {
  RedisSharedCache cache(SettingsFor(redis_->port()));
  std::vector<std::thread> threads;
  std::atomic<int> found{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        const CacheKey key = Key(static_cast<uint64_t>(t * 1000 + i), static_cast<uint8_t>(t));
        cache.StoreClean(key, "db");
        found += cache.LookupClean(key, "db") ? 1 : 0;
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(found.load(), 200);
  EXPECT_EQ(cache.failures(), 0u);
}

}  // namespace
}  // namespace sondrel::server
