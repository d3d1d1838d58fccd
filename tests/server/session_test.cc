// The session level of the real server, through a hand-framed client: the hello and its flags,
// pings, the running-server data, slots, the error answer for what nothing can take, and the
// load notice that follows the client's own clock.
#include <set>
#include <thread>

#include "server/server_fixture.h"

namespace sondrel::test {
namespace {

constexpr uint32_t kHello = 0xF0000001;
constexpr uint32_t kPing = 0xF0000002;
constexpr uint32_t kRunningData = 0xF0000003;

uint64_t Get64(const std::vector<uint8_t>& bytes, size_t offset) {
  uint64_t value = 0;
  for (size_t i = 0; i < 8; ++i) {
    value |= static_cast<uint64_t>(bytes.at(offset + i)) << (8 * i);
  }
  return value;
}

std::vector<uint8_t> Le64(uint64_t value) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 8; ++i) {
    bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
  return bytes;
}

class SessionTest : public ServerTest {};

TEST_F(SessionTest, HelloAnswersCarryTheVersionFlagsAndEchoTheTimestamp) {
  Start({"--expected-engine-version", "1.4"});
  struct Case {
    uint16_t major, minor;
    std::string engine;
    uint32_t flags;
  };
  const Case cases[] = {
      {3, 3, "1.4.2", 0x0}, {3, 1, "1.4", 0x2}, {3, 3, "1.3", 0x8},
      {3, 3, "2.4", 0x4},   {3, 3, "", 0x4},    {2, 3, "1.4", 0x1},
  };
  for (const Case& c : cases) {
    auto client = Connect();
    ASSERT_TRUE(client->Send(
        PlainFrame(kHello, 0, HelloPayload(c.major, c.minor, c.engine, 0x123456789ABCull))));
    const auto answer = client->ReadFrameOfType(kHello);
    ASSERT_TRUE(answer) << c.major << "." << c.minor << " " << c.engine;
    ASSERT_EQ(answer->payload.size(), 299u);
    EXPECT_EQ(FirstWordOf(*answer), c.flags) << c.engine;
    EXPECT_EQ(Get64(answer->payload, 291), 0x123456789ABCull);
    EXPECT_NE(answer->serverStatus, 0u);
    if ((c.flags & 0x1) != 0) {
      EXPECT_TRUE(client->WaitClosed()) << "a refused client is let go";
    }
  }
  auto asynchronous = Connect();
  ASSERT_TRUE(asynchronous->Send(PlainFrame(kHello, 0, HelloPayload())));
  const auto answer = asynchronous->ReadFrameOfType(kHello);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->payload.size(), 4u) << "no timestamp, no echo";
  auto truncated = Connect();
  ASSERT_TRUE(truncated->Send(PlainFrame(kHello, 0, std::vector<uint8_t>(100, 3))));
  const auto refused = truncated->ReadFrameOfType(kHello);
  ASSERT_TRUE(refused);
  EXPECT_EQ(FirstWordOf(*refused), 0x1u);
  EXPECT_TRUE(truncated->WaitClosed());
}

TEST_F(SessionTest, PingsAreEchoedAndRunningDataNamesTheServer) {
  Start();
  auto client = Connect();
  ASSERT_TRUE(client->Send(PlainFrame(kPing, 3, Le64(42))));
  const auto echo = client->ReadFrameOfType(kPing);
  ASSERT_TRUE(echo);
  EXPECT_EQ(echo->payload, Le64(42));
  EXPECT_EQ(echo->serverStatus, 0x1u) << "idle workers, empty queue: underloaded";

  ASSERT_TRUE(client->Send(PlainFrame(kPing, 3, {})));
  WireFrame data = PlainFrame(kRunningData, 0, {4, 0, 0, 0});
  data.answerTimeoutMs = 4000;
  ASSERT_TRUE(client->Send(data));
  const auto next = client->ReadFrame();
  ASSERT_TRUE(next);
  EXPECT_EQ(next->messageType, kRunningData) << "an empty ping gets no empty echo";
  ASSERT_EQ(next->payload.size(), 24u);
  EXPECT_EQ(FirstWordOf(*next), 24u);
  EXPECT_EQ(next->payload[10] >> 4, 4) << "a version-4 running id";

  // Another start of the server is another identity.
  TempDir other;
  ServerProcessOptions options;
  ServerProcess second(SONDREL_SERVER_PROGRAM, other.path() / "log", options);
  ASSERT_TRUE(second.ok());
  HandClient secondClient;
  ASSERT_TRUE(secondClient.Connect(second.port()));
  ASSERT_TRUE(secondClient.Send(data));
  const auto secondData = secondClient.ReadFrameOfType(kRunningData);
  ASSERT_TRUE(secondData);
  EXPECT_NE(std::vector<uint8_t>(secondData->payload.begin() + 4, secondData->payload.begin() + 20),
            std::vector<uint8_t>(next->payload.begin() + 4, next->payload.begin() + 20));
}

TEST_F(SessionTest, UndeliverableRequestsGetAnErrorAnswerWithTheirRoute) {
  Start();
  auto client = Connect();
  struct Case {
    uint32_t type, kind;
  };
  for (const Case c : {Case{4242, 0}, Case{111, 2}, Case{102, 2}, Case{109, 2}, Case{100, 2}}) {
    WireFrame frame = PlainFrame(c.type, c.kind, {1, 2, 3, 4});
    frame.channelIndex = 7;
    frame.requestSeq = 99;
    frame.conversationId = 0xABCDEF0123ull;
    ASSERT_TRUE(client->Send(frame));
    const auto answer = client->ReadFrameOfType(0);
    ASSERT_TRUE(answer) << c.type;
    EXPECT_EQ(answer->messageKind, 4u);
    EXPECT_EQ(FirstWordOf(*answer), 1101u);
    EXPECT_EQ(answer->channelIndex, 7);
    EXPECT_EQ(answer->requestSeq, 99u);
    EXPECT_EQ(answer->conversationId, 0xABCDEF0123ull);
  }
  // Messages that expect no answer get none.
  ASSERT_TRUE(client->Send(PlainFrame(4242, 3, {})));
  ASSERT_TRUE(client->Send(PlainFrame(4242, 1, {})));
  ASSERT_TRUE(client->Send(PlainFrame(kPing, 3, Le64(7))));
  const auto next = client->ReadFrame();
  ASSERT_TRUE(next);
  EXPECT_EQ(next->messageType, kPing);
}

TEST_F(SessionTest, SlotsAreGrantedUpToTheCapacityFreedAndKept) {
  Start({"--slot-capacity", "2", "--slot-expiry", "1"});
  auto client = Connect();
  auto allocate = [&client](bool force) {
    WireFrame frame =
        PlainFrame(112, 0, {8, 0, 0, 0, static_cast<uint8_t>(force ? 1 : 0), 0, 0, 0});
    frame.channelIndex = -2;
    frame.requestSeq = 5;
    EXPECT_TRUE(client->Send(frame));
    return client->ReadFrame();
  };
  auto slotMessage = [&client](uint32_t type, const std::vector<uint8_t>& grant) {
    WireFrame frame = PlainFrame(type, 3, grant);
    frame.channelIndex = -2;
    EXPECT_TRUE(client->Send(frame));
  };
  std::set<std::vector<uint8_t>> granted;
  for (int i = 0; i < 2; ++i) {
    const auto answer = allocate(false);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->messageType, 112u);
    EXPECT_EQ(answer->messageKind, 1u);
    EXPECT_EQ(answer->channelIndex, -2);
    ASSERT_EQ(answer->payload.size(), 20u);
    EXPECT_EQ(FirstWordOf(*answer), 20u);
    granted.insert(answer->payload);
  }
  EXPECT_EQ(granted.size(), 2u);
  const auto full = allocate(false);
  ASSERT_TRUE(full);
  EXPECT_EQ(full->messageKind, 4u);
  EXPECT_EQ(FirstWordOf(*full), 1102u);

  // Freeing one makes room; keeping one saves it from expiry.
  slotMessage(113, *granted.begin());
  slotMessage(114, *granted.rbegin());
  const auto again = allocate(false);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->messageKind, 1u);
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  const auto afterExpiry = allocate(false);
  ASSERT_TRUE(afterExpiry);
  EXPECT_EQ(afterExpiry->messageKind, 1u) << "the slot not kept has expired";
  const auto stillFull = allocate(false);
  ASSERT_TRUE(stillFull);
  EXPECT_EQ(stillFull->messageKind, 4u) << "the kept slot stays";
  const auto forced = allocate(true);
  ASSERT_TRUE(forced);
  EXPECT_EQ(forced->messageKind, 1u) << "force drops the oldest slot not kept";

  WireFrame malformed = PlainFrame(112, 0, {9, 0, 0, 0});
  malformed.channelIndex = -2;
  ASSERT_TRUE(client->Send(malformed));
  const auto refused = client->ReadFrame();
  ASSERT_TRUE(refused);
  EXPECT_EQ(FirstWordOf(*refused), 1103u);
}

TEST_F(SessionTest, LoadChangesAreAnnouncedOnTheClientsOwnClock) {
  Start({"--workers", "1", "--queue-size", "4", "--scan-timeout", "5"});
  auto watcher = Connect();
  const uint64_t stamp = 1000000000ull;
  const auto pinged = std::chrono::steady_clock::now();
  ASSERT_TRUE(watcher->Send(PlainFrame(kPing, 3, Le64(stamp))));
  ASSERT_TRUE(watcher->ReadFrameOfType(kPing));

  // A client without a timestamp of its own is told nothing; one that never answers its read
  // requests keeps the only worker busy and fills the queue.
  auto silent = Connect();
  auto busy = Connect();
  HandScanRequest fields;
  fields.fileSize = 100000;
  ASSERT_TRUE(busy->Send(ScanRequestFrame(fields, 0, 1, 60000)));
  for (int i = 0; i < 100 && server_->Metric("sondrel_scans_running") != 1; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (uint32_t seq = 2; seq <= 5; ++seq) {
    ASSERT_TRUE(busy->Send(ScanRequestFrame(fields, 0, seq, 60000)));
  }
  // The first notice that reports overload.
  const std::optional<WireFrame> notice = [&]() -> std::optional<WireFrame> {
    while (std::optional<WireFrame> frame = watcher->ReadFrameOfType(kPing, 3000)) {
      if (frame->serverStatus == 0x4) {
        return frame;
      }
    }
    return std::nullopt;
  }();
  ASSERT_TRUE(notice) << "an overload notice";
  const auto elapsedUs = std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::steady_clock::now() - pinged)
                             .count();
  const uint64_t echoed = Get64(notice->payload, 0);
  EXPECT_GE(echoed, stamp);
  EXPECT_LE(echoed, stamp + static_cast<uint64_t>(elapsedUs)) << "our stamp plus the time since";
  EXPECT_FALSE(silent->ReadFrame(300)) << "no notice without a timestamp";

  // With one running and four waiting, a sixth request is answered at once.
  ASSERT_TRUE(busy->Send(ScanRequestFrame(fields, 1, 9, 60000)));
  std::optional<WireFrame> answer;
  while ((answer = busy->ReadFrame(3000)) &&
         (answer->messageType != 104 || answer->channelIndex != 1)) {
  }
  ASSERT_TRUE(answer);
  EXPECT_EQ(FinalStatusOf(*answer), 1001);
  EXPECT_EQ(answer->serverStatus, 0x4u);
  EXPECT_EQ(answer->requestSeq, 9u);
}

}  // namespace
}  // namespace sondrel::test
