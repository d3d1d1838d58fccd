// Servers that share a cache on Redis, driven by a hand-framed client: a file one server found
// clean is answered by another without a single read request; an entry written under other
// signature databases is not trusted; a Redis that goes away mid-run or answers nonsense leaves
// every verdict to the engine and is reported once.
#include <csignal>
#include <span>

#include "server/server_fixture.h"
#include "support/scan_server/fake_redis.h"
#include "support/scan_server/redis_process.h"

namespace sondrel::test {
namespace {

constexpr uint32_t kReadRequest = 101;
constexpr uint32_t kFinalAnswer = 104;
constexpr uint32_t kServerCacheAnswer = 107;
const char* const kEicar = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

std::vector<uint8_t> Content(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<uint8_t>(i * 13 + seed);
  }
  return bytes;
}

std::vector<uint8_t> Infected() {
  std::vector<uint8_t> bytes = Content(3000, 9);
  const std::string eicar = kEicar;
  std::copy(eicar.begin(), eicar.end(), bytes.begin() + 1000);
  return bytes;
}

struct Scanned {
  uint32_t answerType = 0;  // 0: no answer
  size_t readRequests = 0;
};

class SharedCacheServerTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!RedisProcess::Installed()) {
      GTEST_SKIP() << "redis-server is not installed";
    }
    redis_.emplace();
    ASSERT_TRUE(redis_->ok()) << "redis-server does not start";
  }

  void TearDown() override {
    if (HasFailure()) {
      for (const auto& server : servers_) {
        std::cerr << "server log:\n" << server->Log();
      }
    }
  }

  ServerProcess& StartServer(const std::string& sharedCache, std::vector<std::string> more = {}) {
    ServerProcessOptions options;
    options.metrics = true;
    options.arguments = {"--shared-cache", sharedCache, "--log-level", "debug", "--workers", "2"};
    options.arguments.insert(options.arguments.end(), more.begin(), more.end());
    const auto log = dir_.path() / ("server" + std::to_string(servers_.size()) + ".log");
    servers_.push_back(std::make_unique<ServerProcess>(SONDREL_SERVER_PROGRAM, log, options));
    EXPECT_TRUE(servers_.back()->ok()) << servers_.back()->Log();
    return *servers_.back();
  }

  // Scans `content` through `server` with a strong fingerprint made from `id`, answering every
  // read request from `content`.
  static Scanned Scan(ServerProcess& server, const std::vector<uint8_t>& content, uint8_t id,
                      bool cacheUsable = true) {
    HandClient client;
    Scanned scanned;
    if (!client.Connect(server.port())) {
      return scanned;
    }
    HandScanRequest fields;
    fields.fileSize = content.size();
    fields.fingerprintValid = true;
    fields.strongFingerprint = true;
    fields.cacheUsable = cacheUsable;
    fields.fingerprint.fill(id);
    if (!client.Send(ScanRequestFrame(fields))) {
      return scanned;
    }
    const std::span<const uint8_t> all(content);
    while (const std::optional<WireFrame> frame = client.ReadFrame()) {
      if (frame->messageType == kReadRequest) {
        ++scanned.readRequests;
        const ReadRange range = RangeOf(*frame);
        const uint64_t offset = std::min<uint64_t>(range.offset, all.size());
        const auto piece =
            all.subspan(offset, std::min<uint64_t>(range.count, all.size() - offset));
        client.Send(
            ReadAnswerFrame(*frame, 2, ReadAnswerPayload(range.offset, range.count, piece, 0)));
      } else if (frame->messageType == kFinalAnswer || frame->messageType == kServerCacheAnswer) {
        scanned.answerType = frame->messageType;
        break;
      }
    }
    return scanned;
  }

  static std::string LastOutcome(const ServerProcess& server) {
    const std::vector<std::string> lines = server.ScanLines();
    return lines.empty() ? "" : ScanField(lines.back(), "outcome");
  }

  TempDir dir_;
  std::optional<RedisProcess> redis_;
  std::vector<std::unique_ptr<ServerProcess>> servers_;
};

TEST_F(SharedCacheServerTest, AFileFoundCleanThroughOneServerIsAnsweredByAnotherWithoutReading) {
  ServerProcess& first = StartServer(redis_->url());
  ServerProcess& second = StartServer(redis_->url());
  const std::vector<uint8_t> clean = Content(200000, 1);
  const std::vector<uint8_t> infected = Infected();

  const Scanned cold = Scan(first, clean, 1);
  EXPECT_EQ(cold.answerType, kFinalAnswer);
  EXPECT_GT(cold.readRequests, 0u);
  EXPECT_EQ(Scan(first, infected, 2).answerType, kFinalAnswer);
  ASSERT_TRUE(first.WaitForLog("INFO scan ", 2));
  EXPECT_EQ(LastOutcome(first), "infected");

  const Scanned shared = Scan(second, clean, 1);
  EXPECT_EQ(shared.answerType, kServerCacheAnswer);
  EXPECT_EQ(shared.readRequests, 0u);
  ASSERT_TRUE(second.WaitForLog("INFO scan "));
  EXPECT_EQ(LastOutcome(second), "shared-cache-hit");
  EXPECT_EQ(second.Metric("sondrel_bytes_pulled_total"), 0);
  EXPECT_EQ(second.Metric("sondrel_shared_cache_hits_total"), 1);

  // Only clean results are shared, and only with requests that let a cache answer them.
  struct Case {
    const char* what;
    const std::vector<uint8_t>* content;
    uint8_t id;
    bool cacheUsable;
    const char* outcome;
  };
  const Case cases[] = {
      {"an infected file", &infected, 2, true, "infected"},
      {"a request that does not let a cache answer", &clean, 1, false, "clean"},
      {"another fingerprint", &clean, 3, true, "clean"},
  };
  size_t lines = 1;
  for (const Case& c : cases) {
    const Scanned scanned = Scan(second, *c.content, c.id, c.cacheUsable);
    EXPECT_EQ(scanned.answerType, kFinalAnswer) << c.what;
    EXPECT_GT(scanned.readRequests, 0u) << c.what;
    ASSERT_TRUE(second.WaitForLog("INFO scan ", ++lines)) << c.what;
    EXPECT_EQ(LastOutcome(second), c.outcome) << c.what;
  }
}

TEST_F(SharedCacheServerTest, AnEntryWrittenUnderOtherSignatureDatabasesIsNotTrusted) {
  const auto other = dir_.Write("other.ndb", "Sondrel.Test.Other:0:*:0123456789abcdef0123\n");
  ServerProcess& first = StartServer(redis_->url());
  ServerProcess& second = StartServer(redis_->url(), {"--database", other.string()});
  const std::vector<uint8_t> clean = Content(50000, 4);
  EXPECT_EQ(Scan(first, clean, 4).answerType, kFinalAnswer);
  const Scanned elsewhere = Scan(second, clean, 4);
  EXPECT_EQ(elsewhere.answerType, kFinalAnswer);
  EXPECT_GT(elsewhere.readRequests, 0u) << "the engine scans it again";
  ASSERT_TRUE(second.WaitForLog("INFO scan "));
  EXPECT_EQ(LastOutcome(second), "clean");
}

TEST_F(SharedCacheServerTest, ARedisThatGoesAwayOrTalksNonsenseLeavesTheVerdictsToTheEngine) {
  FakeRedis garbage(FakeRedis::Mode::Garbage);
  FakeRedis silent(FakeRedis::Mode::Silent);
  ServerProcess& talking = StartServer(redis_->url());
  ServerProcess& nonsense = StartServer(garbage.url());
  ServerProcess& mute = StartServer(silent.url(), {"--shared-cache-timeout", "0.05"});
  const std::vector<uint8_t> clean = Content(100000, 5);
  EXPECT_EQ(Scan(talking, clean, 5).answerType, kFinalAnswer);
  redis_->Kill();

  const std::vector<uint8_t> infected = Infected();
  for (ServerProcess* server : {&talking, &nonsense, &mute}) {
    size_t lines = server->ScanLines().size();
    for (int round = 0; round < 3; ++round) {
      EXPECT_EQ(Scan(*server, infected, 6).answerType, kFinalAnswer);
      ASSERT_TRUE(server->WaitForLog("INFO scan ", ++lines));
      EXPECT_EQ(LastOutcome(*server), "infected");
      const Scanned scanned = Scan(*server, Content(30000, static_cast<uint8_t>(round)), 7 + round);
      EXPECT_EQ(scanned.answerType, kFinalAnswer);
      ASSERT_TRUE(server->WaitForLog("INFO scan ", ++lines));
      EXPECT_EQ(LastOutcome(*server), "clean");
    }
    const std::string log = server->Log();
    size_t reported = 0;
    for (size_t at = log.find("going on with the local cache only"); at != std::string::npos;
         at = log.find("going on with the local cache only", at + 1)) {
      ++reported;
    }
    EXPECT_EQ(reported, 1u) << log;
  }
  // The file the first server scanned before Redis went is still answered from its own cache.
  EXPECT_EQ(Scan(talking, clean, 5).answerType, kServerCacheAnswer);
}

}  // namespace
}  // namespace sondrel::test
