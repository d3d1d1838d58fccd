#include "comm/sock_thread_channel.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

#include "comm/request_result.h"
#include "protocol/received_message.h"
#include "support/fake_server/server_frames.h"
#include "unit/comm/test_records.h"

namespace sondrel::test {
namespace {

constexpr uint64_t kLongWaitUs = 10'000'000;

// What the channel's handler saw: the message types, the request key and the thread.
struct HandlerLog {
  std::vector<uint32_t> types;
  void* requestKey = nullptr;
  std::thread::id thread;

  static void Record(const CommMessagePtr& message, void* context, void* requester) {
    auto* log = static_cast<HandlerLog*>(context);
    log->types.push_back(ReceivedMessage(*message).messageType());
    log->requestKey = requester;
    log->thread = std::this_thread::get_id();
  }
};

// Delivers `frames` from another thread, as a session's I/O thread does, once the request is
// waiting; returns the delivery results.
std::future<std::vector<int32_t>> DeliverLater(SockThreadChannel& channel,
                                               std::vector<WireFrame> frames) {
  return std::async(std::launch::async, [&channel, frames = std::move(frames)] {
    std::vector<int32_t> results;
    for (const WireFrame& frame : frames) {
      results.push_back(channel.Deliver(Record(frame)));
    }
    return results;
  });
}

TEST(SockThreadChannelTest, BeginRequestStartsAFreshRequestOnlyWhenNoneWaits) {
  SockThreadChannel channel(2, nullptr, nullptr);
  channel.SetConversationId(77);
  channel.IncrementSendCount();
  EXPECT_TRUE(channel.BeginRequest(nullptr));
  EXPECT_EQ(channel.requestSeq(), 1u);
  EXPECT_EQ(channel.conversationId(), 0u);
  EXPECT_EQ(channel.sendCount(), 0u);
  EXPECT_TRUE(channel.waiting());
  EXPECT_FALSE(channel.answered());

  channel.SetConversationId(5);
  EXPECT_FALSE(channel.BeginRequest(nullptr));
  EXPECT_EQ(channel.requestSeq(), 1u);
  EXPECT_EQ(channel.conversationId(), 5u);

  channel.AbandonRequest();
  EXPECT_TRUE(channel.BeginRequest(nullptr));
  EXPECT_EQ(channel.requestSeq(), 2u);
}

TEST(SockThreadChannelTest, FinalAndErrorAnswersEndTheWait) {
  struct Case {
    uint32_t kind;
    std::vector<uint8_t> payload;
    int32_t result;
  };
  const Case cases[] = {
      {1, {}, RequestResult::Answered},
      {4, Le32(1234), 1234},
      {4, Le64(1234), RequestResult::ErrorWithoutCode},
      {4, {}, RequestResult::ErrorWithoutCode},
      {4, Le32(0xFFFFFFFE), -2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << ", " << c.payload.size() << " bytes");
    SockThreadChannel channel(0, nullptr, nullptr);
    ASSERT_TRUE(channel.BeginRequest(nullptr));
    auto delivered = DeliverLater(channel, {ToChannel(0, 1, 0, 104, c.kind, c.payload)});
    EXPECT_EQ(channel.Wait(kLongWaitUs), c.result);
    EXPECT_EQ(delivered.get(), std::vector<int32_t>{DeliveryResult::Delivered});
    EXPECT_TRUE(channel.answered());
    EXPECT_FALSE(channel.waiting());
  }
}

TEST(SockThreadChannelTest, DeliveryIsRefusedOutsideTheWaitingRequest) {
  SockThreadChannel channel(0, nullptr, nullptr);
  // Not waiting yet: the current requestSeq is 0.
  EXPECT_EQ(channel.Deliver(Record(ToChannel(0, 0, 0, 104, 1))), DeliveryResult::NotWaiting);

  ASSERT_TRUE(channel.BeginRequest(nullptr));
  EXPECT_EQ(channel.Deliver(Record(ToChannel(0, 0, 0, 104, 1))), DeliveryResult::StaleRequest);
  EXPECT_EQ(channel.Deliver(Record(ToChannel(0, 2, 0, 104, 1))), DeliveryResult::StaleRequest);
  EXPECT_EQ(channel.Deliver(Record(ToChannel(0, 1, 0, 104, 1))), DeliveryResult::Delivered);
  EXPECT_EQ(channel.Wait(kLongWaitUs), RequestResult::Answered);

  // Answered and ended: the request no longer waits.
  EXPECT_EQ(channel.Deliver(Record(ToChannel(0, 1, 0, 104, 1))), DeliveryResult::NotWaiting);
  EXPECT_EQ(channel.Deliver(Record(ToChannel(kAllChannels, 0, 0, 0, 4, Le32(8)))),
            DeliveryResult::NotWaiting);
}

TEST(SockThreadChannelTest, OnlyTheFirstAnswerDecides) {
  SockThreadChannel channel(0, nullptr, nullptr);
  ASSERT_TRUE(channel.BeginRequest(nullptr));
  EXPECT_EQ(channel.Deliver(Record(ToChannel(0, 1, 0, 104, 1))), DeliveryResult::Delivered);
  // Not handled yet: the second one still finds the request unanswered and is posted too, but the
  // first answer decides.
  EXPECT_EQ(channel.Deliver(Record(ToChannel(0, 1, 0, 104, 4, Le32(77)))),
            DeliveryResult::Delivered);
  EXPECT_EQ(channel.Wait(kLongWaitUs), RequestResult::Answered);
}

TEST(SockThreadChannelTest, TimeOutWithoutAnswer) {
  SockThreadChannel channel(0, nullptr, nullptr);
  ASSERT_TRUE(channel.BeginRequest(nullptr));
  EXPECT_EQ(channel.Wait(1000), RequestResult::TimedOut);
  EXPECT_FALSE(channel.waiting());
  EXPECT_FALSE(channel.answered());
  // The channel serves the next request.
  ASSERT_TRUE(channel.BeginRequest(nullptr));
  auto delivered = DeliverLater(channel, {ToChannel(0, 2, 0, 104, 1)});
  EXPECT_EQ(channel.Wait(kLongWaitUs), RequestResult::Answered);
  EXPECT_EQ(delivered.get(), std::vector<int32_t>{DeliveryResult::Delivered});
}

TEST(SockThreadChannelTest, HandlerRunsOnTheWaitingThreadAndConversationRequestsSetTheId) {
  HandlerLog log;
  SockThreadChannel channel(3, &HandlerLog::Record, &log);
  int key = 0;
  ASSERT_TRUE(channel.BeginRequest(&key));
  auto delivered =
      DeliverLater(channel, {ToChannel(3, 1, 0xABCDEF0123, 101, 2), ToChannel(3, 1, 0x55, 105, 3),
                             ToChannel(3, 1, 0x66, 104, 1)});
  EXPECT_EQ(channel.Wait(kLongWaitUs), RequestResult::Answered);
  EXPECT_EQ(delivered.get(), std::vector<int32_t>(3, DeliveryResult::Delivered));
  EXPECT_EQ(log.types, (std::vector<uint32_t>{101, 105, 104}));
  EXPECT_EQ(log.requestKey, &key);
  EXPECT_EQ(log.thread, std::this_thread::get_id());
  // Only the kind-2 request set the conversation; the one-way notice and the answer did not.
  EXPECT_EQ(channel.conversationId(), 0xABCDEF0123u);
}

TEST(SockThreadChannelTest, BroadcastReleasesWhateverTheRequest) {
  SockThreadChannel channel(1, nullptr, nullptr);
  for (int request = 0; request < 2; ++request) {
    ASSERT_TRUE(channel.BeginRequest(nullptr));
    channel.AbandonRequest();
  }
  ASSERT_TRUE(channel.BeginRequest(nullptr));
  EXPECT_EQ(channel.Deliver(Record(ToChannel(kAllChannels, 0, 0, 0, 4, Le32(8)))),
            DeliveryResult::Delivered);
  EXPECT_EQ(channel.Wait(kLongWaitUs), RequestResult::Stopping);
}

TEST(SockThreadChannelTest, MessageDeliveredForAnAbandonedRequestIsIgnoredByTheNextOne) {
  SockThreadChannel channel(1, nullptr, nullptr);
  ASSERT_TRUE(channel.BeginRequest(nullptr));
  // The connection is lost before the request could be sent; the request is given up.
  EXPECT_EQ(channel.Deliver(Record(ToChannel(kAllChannels, 0, 0, 0, 4, Le32(8)))),
            DeliveryResult::Delivered);
  channel.AbandonRequest();

  ASSERT_TRUE(channel.BeginRequest(nullptr));
  EXPECT_EQ(channel.Wait(1000), RequestResult::TimedOut);
}

}  // namespace
}  // namespace sondrel::test
