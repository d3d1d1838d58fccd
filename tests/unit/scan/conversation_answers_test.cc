// What the server tells a waiting request: detection reports, the final answer, a server-cache
// answer, disinfect flags, data for the host, and the flags of a hello answer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/message_codes.h"
#include "support/log_capture.h"
#include "unit/scan/conversation_test_support.h"

namespace sondrel::test {
namespace {

// A detection report: fixed part of 72 bytes, then the four texts back to back.
std::vector<uint8_t> Report(uint32_t verdict, const std::vector<std::string>& texts,
                            uint32_t outByte, uint32_t extraLength = 0) {
  std::vector<uint8_t> bytes;
  PutU32(bytes, 0);
  PutU32(bytes, 0);
  PutU32(bytes, verdict);
  PutU32(bytes, 0);
  PutU32(bytes, 0);
  for (size_t i = 0; i < 4; ++i) {
    PutU64(bytes, 0xAAAA0000 + i);
    const uint32_t length = static_cast<uint32_t>(texts[i].size() + 1);
    PutU32(bytes, i == 3 ? length + extraLength : length);
  }
  PutU32(bytes, outByte);
  for (const std::string& text : texts) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
  }
  return bytes;
}

TEST(ConversationAnswersTest, DetectionReportsSetVerdictThreatAndOutByte) {
  struct Case {
    const char* name;
    uint32_t verdict;
    uint32_t extraLength;
    bool detected;
    std::string threat;
  };
  const Case cases[] = {
      {"detection", 0x20, 0, true, "Eicar-Test"},
      {"detection by the other bit", 0x41, 0, true, "Eicar-Test"},
      {"no detection", 0, 0, false, "Eicar-Test"},
      {"a threat name reaching past the payload is not taken", 0x20, 1, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ConversationFixture fixture;
    fixture.context.action = 3;
    LogCapture capture;
    fixture.Handle(ServerRecord(
        103, MessageKind::OneWay,
        Report(c.verdict, {"t1", "object", "C:\\eicar.com", "Eicar-Test"}, 1, c.extraLength)));
    EXPECT_EQ(fixture.context.verdict, static_cast<int32_t>(c.verdict));
    EXPECT_EQ(fixture.context.threatName, c.threat);
    EXPECT_TRUE(fixture.context.outByte);
    EXPECT_EQ(fixture.context.detected, c.detected);
    EXPECT_EQ(capture.Contains("Virus detected! " + c.threat + " File: C:\\eicar.com Action:3"),
              c.detected);
  }
}

TEST(ConversationAnswersTest, ReportsOfTheWrongKindOrTooShortChangeNothing) {
  ConversationFixture fixture;
  const std::vector<uint8_t> report = Report(0x20, {"", "", "", "X"}, 1);
  fixture.Handle(ServerRecord(103, MessageKind::ConversationRequest, report));
  fixture.Handle(ServerRecord(103, MessageKind::OneWay,
                              std::vector<uint8_t>(report.begin(), report.begin() + 71)));
  for (const uint32_t kind : {MessageKind::Request, MessageKind::ErrorAnswer}) {
    fixture.Handle(ServerRecord(103, kind, report));
  }
  EXPECT_EQ(fixture.context.verdict, 1);
  EXPECT_FALSE(fixture.context.detected);
  EXPECT_TRUE(fixture.client.replies.empty());
}

std::vector<uint8_t> FinalAnswer(size_t length, uint32_t cacheValue = 0x77,
                                 uint8_t storeBlocking = 0) {
  std::vector<uint8_t> bytes;
  PutU32(bytes, 0);
  for (uint32_t word = 1; word <= 11; ++word) {
    PutU32(bytes, 100 + word);
  }
  PutU32(bytes, cacheValue);
  bytes.push_back(storeBlocking);
  bytes.resize(length);
  return bytes;
}

TEST(ConversationAnswersTest, TheFinalAnswerFillsTheContextAndMayStoreACleanVerdict) {
  struct Case {
    const char* name;
    std::vector<uint8_t> payload;
    std::function<void(ConversationFixture&)> setUp;
    int32_t finalStatus;
    bool blockReceived;
    uint32_t cacheValue;
    bool stored;
  };
  const auto nothing = [](ConversationFixture&) {};
  const Case cases[] = {
      {"complete", FinalAnswer(53), nothing, 0, true, 0x77, true},
      {"with its result block", FinalAnswer(48), nothing, 0, true, 0, true},
      {"without its result block", FinalAnswer(40), nothing, 0, false, 0, false},
      {"too short for a status", FinalAnswer(2), nothing, static_cast<int32_t>(0xC0000000), false,
       0, false},
      {"store blocked by the server", FinalAnswer(53, 0x77, 1), nothing, 0, true, 0x77, false},
      {"a detection is not stored", FinalAnswer(53),
       [](ConversationFixture& f) { f.context.detected = true; }, 0, true, 0x77, false},
      {"a verdict other than clean", FinalAnswer(53),
       [](ConversationFixture& f) { f.context.verdict = 2; }, 0, true, 0x77, false},
      {"local cache off for the request", FinalAnswer(53),
       [](ConversationFixture& f) { f.context.useLocalCache = false; }, 0, true, 0x77, false},
      {"no response cache", FinalAnswer(53),
       [](ConversationFixture& f) { f.services.localCache = nullptr; }, 0, true, 0x77, false},
      {"a disinfection", FinalAnswer(53), [](ConversationFixture& f) { f.context.action = 3; }, 0,
       true, 0x77, false},
      {"the host cannot tell the size", FinalAnswer(53),
       [](ConversationFixture& f) { f.host.FailGetSize(); }, 0, true, 0x77, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ConversationFixture fixture(123456);
    c.setUp(fixture);
    fixture.context.receivedResultBlock.words.fill(9);
    fixture.Handle(ServerRecord(104, MessageKind::FinalAnswer, c.payload));
    EXPECT_EQ(fixture.context.finalStatus, c.finalStatus);
    EXPECT_EQ(fixture.context.receivedResultBlock.words[0], c.blockReceived ? 101 : 0);
    EXPECT_EQ(fixture.context.receivedResultBlock.words[10], c.blockReceived ? 111 : 9);
    EXPECT_EQ(fixture.context.cacheValue, c.cacheValue);
    ASSERT_EQ(fixture.cache.stored.size(), c.stored ? 1u : 0u);
    if (c.stored) {
      EXPECT_EQ(fixture.cache.stored[0].size, 123456u);
      EXPECT_EQ(fixture.cache.stored[0].fingerprint, std::vector<uint8_t>(16, 0xAB));
      EXPECT_EQ(fixture.cache.stored[0].value, c.cacheValue);
    }
  }
}

TEST(ConversationAnswersTest, CompletionIsLoggedWithTheServerWhenTheChannelHasOne) {
  ConversationFixture fixture;
  LogCapture capture;
  fixture.Handle(ServerRecord(104, MessageKind::FinalAnswer, FinalAnswer(4), 5, 2));
  fixture.client.server = "scan1.example";
  fixture.client.serverTls = true;
  fixture.Handle(ServerRecord(104, MessageKind::FinalAnswer, FinalAnswer(4), 5, 1));
  fixture.Handle(ServerRecord(107, MessageKind::FinalAnswer, {}, 5, 0));
  EXPECT_TRUE(capture.Contains("Scan completed: file <report.doc> server load: 2"));
  EXPECT_TRUE(capture.Contains(
      "Scan completed: file <report.doc> server:<scan1.example> usessl<1> load: 1"));
  EXPECT_TRUE(capture.Contains(
      "File found in server cache: file <report.doc> server:<scan1.example> usessl<1> load: 0"));
}

TEST(ConversationAnswersTest, AServerCacheAnswerIsACleanVerdictStoredOnlyWithItsValue) {
  for (const bool withValue : {true, false}) {
    SCOPED_TRACE(withValue);
    ConversationFixture fixture(5000);
    fixture.context.verdict = 7;
    fixture.context.threatName = "old";
    fixture.context.finalStatus = 3;
    fixture.context.sentResultBlock.words[1] = 42;
    std::vector<uint8_t> payload;
    if (withValue) {
      PutU32(payload, 0x1234);
    }
    fixture.Handle(ServerRecord(107, MessageKind::FinalAnswer, payload));
    EXPECT_EQ(fixture.context.verdict, 1);
    EXPECT_TRUE(fixture.context.threatName.empty());
    EXPECT_TRUE(fixture.context.foundInCache);
    EXPECT_EQ(fixture.context.finalStatus, 0);
    EXPECT_EQ(fixture.context.receivedResultBlock, fixture.context.sentResultBlock);
    ASSERT_EQ(fixture.cache.stored.size(), withValue ? 1u : 0u);
    if (withValue) {
      EXPECT_EQ(fixture.cache.stored[0].size, 5000u);
      EXPECT_EQ(fixture.cache.stored[0].value, 0x1234u);
    }
  }
}

TEST(ConversationAnswersTest, DisinfectFlagsAndDataNotifications) {
  ConversationFixture fixture;
  static std::vector<uint8_t> notified;
  notified.clear();
  fixture.host.callbacks().dataNotify = [](const void* data, uint32_t length, void*) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    notified.insert(notified.end(), bytes, bytes + length);
    return int32_t{0};
  };
  LogCapture capture;
  std::vector<uint8_t> flags;
  PutU32(flags, 6);
  fixture.Handle(ServerRecord(115, MessageKind::OneWay, flags));
  EXPECT_EQ(fixture.context.disinfectFlags, 6);
  EXPECT_TRUE(capture.Contains("Disinfect flags received: 6"));

  std::vector<uint8_t> data;
  PutU32(data, 3);
  PutU64(data, 0xBEEF);
  data.insert(data.end(), {'a', 'b', 'c'});
  fixture.Handle(ServerRecord(105, MessageKind::OneWay, data));
  data[0] = 4;  // announces more than arrived: not forwarded
  fixture.Handle(ServerRecord(105, MessageKind::OneWay, data));
  EXPECT_EQ(notified, (std::vector<uint8_t>{'a', 'b', 'c'}));
}

TEST(ConversationAnswersTest, HelloAnswerFlagsAreLoggedWithoutAContext) {
  struct Case {
    uint32_t flags;
    bool mismatch;
    const char* update;
  };
  const Case cases[] = {{0x0, false, nullptr},
                        {0x1, true, "Product update recommended! Prod:1 Sig:0"},
                        {0x2, false, "Product update recommended! Prod:1 Sig:0"},
                        {0xC, false, "Product update recommended! Prod:0 Sig:1"},
                        {0xE, false, "Product update recommended! Prod:1 Sig:1"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    ConversationFixture fixture;
    LogCapture capture;
    std::vector<uint8_t> payload;
    PutU32(payload, c.flags);
    HandleConversationMessage(ServerRecord(MessageType::Hello, MessageKind::FinalAnswer, payload),
                              nullptr, fixture.services);
    EXPECT_EQ(capture.Contains("Major version mismatch. Server will not serve this client"),
              c.mismatch);
    EXPECT_EQ(capture.Contains("Product update recommended!"), c.update != nullptr);
    if (c.update != nullptr) {
      EXPECT_TRUE(capture.Contains(c.update));
    }
  }
}

}  // namespace
}  // namespace sondrel::test
