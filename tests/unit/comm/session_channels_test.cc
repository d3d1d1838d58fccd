// Messages routed to request channels over a real connection: error replies for messages that
// cannot be delivered, the release of waiting requesters when the connection is lost, stale
// answers, conversations, error answers and requests on the special channel.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "comm/channel_table.h"
#include "comm/request_result.h"
#include "comm/send_message.h"
#include "comm/server_endpoint_send.h"
#include "comm/sock_comm_session.h"
#include "comm/sock_thread_channel.h"
#include "protocol/received_message.h"
#include "support/fake_server/fake_server.h"
#include "support/fake_server/server_frames.h"
#include "support/fake_server/session_script.h"
#include "support/log_capture.h"
#include "unit/comm/channel_requester.h"
#include "unit/comm/session_test_support.h"

namespace sondrel::test {
namespace {

constexpr int32_t kLongTimeoutMs = 10000;

// A value one thread hands to another, with a bounded wait.
template <typename T>
class Handover {
 public:
  void Set(T value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!set_) {
      set_ = true;
      promise_.set_value(std::move(value));
    }
  }
  std::optional<T> Get(int timeoutMs = 5000) {
    if (future_.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready) {
      return std::nullopt;
    }
    return future_.get();
  }

 private:
  std::mutex mutex_;
  bool set_ = false;
  std::promise<T> promise_;
  std::future<T> future_ = promise_.get_future();
};

// A server that greets the session and passes every other message to `onMessage`.
FakeServer ScriptedServer(std::function<bool(FakeConnection&, const WireFrame&)> onMessage) {
  return FakeServer([onMessage](FakeConnection& connection) {
    SessionScript script;
    script.onMessage = onMessage;
    ServeSession(connection, script);
  });
}

class SessionChannelsTest : public testing::Test {
 protected:
  void TearDown() override {
    if (session_ != nullptr) {
      session_->Stop();
    }
  }
  void StartSession(const FakeServer& server) {
    session_ = NewSession(&table_);
    PointAt(*session_, server);
    session_->Start();
    ASSERT_TRUE(session_->IsConnected());
  }
  std::shared_ptr<SockThreadChannel> NewChannel(MessageCallback handler = nullptr,
                                                void* context = nullptr) {
    return table_.At(table_.AcquireChannel(session_, handler, context, {}));
  }
  // A message for the server alone (a one-way message on no channel), to set its script going.
  void Nudge() { ASSERT_EQ(send_message(*session_, 0, 0, 0, 105, 3, nullptr, 0, true, 0, -1), 0); }

  ChannelTable table_;
  std::shared_ptr<SockCommSession> session_;
};

TEST_F(SessionChannelsTest, MissingChannelGetsAnErrorReplyOnlyWhenTheServerWaits) {
  Handover<WireFrame> reply;
  FakeServer server = ScriptedServer([&](FakeConnection& connection, const WireFrame&) {
    // A final answer and a request for a channel that does not exist.
    connection.Send(ToChannel(7, 5, 0xC0FFEE, 101, 1, {1}));
    connection.Send(ToChannel(7, 6, 0xBEEF, 101, 0, {2, 2}));
    if (const auto frame = connection.ReadFrame()) {
      reply.Set(*frame);
    }
    return true;
  });
  StartSession(server);
  for (int i = 0; i < 3; ++i) {
    NewChannel();
  }
  LogCapture capture;
  Nudge();

  const std::optional<WireFrame> frame = reply.Get();
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(frame->messageType, kErrorReplyType);
  EXPECT_EQ(frame->messageKind, 4u);
  EXPECT_EQ(frame->channelIndex, 7);
  EXPECT_EQ(frame->requestSeq, 6u);
  EXPECT_EQ(frame->conversationId, 0xBEEFu);
  EXPECT_EQ(frame->PlainPayload(), Le32(DeliveryResult::NoChannel));
  EXPECT_EQ(frame->sendCount, 0u);
  EXPECT_EQ(frame->answerTimeoutMs, -1);

  // The reply goes out before the session logs the message it could not process.
  const std::string address = LoggedAddress(*session_);
  EXPECT_TRUE(capture.WaitFor(address + " Received message cannot be processed. " +
                              std::to_string(uint64_t{7} << 32 | 6) + " 48879 2"));
  EXPECT_EQ(capture.Count(address + " Received message has as target an unexisting channel 7"), 2u);
  EXPECT_TRUE(capture.Contains(address + " Received message cannot be processed. " +
                               std::to_string(uint64_t{7} << 32 | 5) + " 12648430 1"));
}

TEST_F(SessionChannelsTest, LostConnectionReleasesTheSessionsRequestersButNotTheSpecialChannel) {
  std::atomic<int> requests{0};
  FakeServer server = ScriptedServer([&](FakeConnection& connection, const WireFrame& frame) {
    if (frame.messageType == 100 || frame.messageType == 112) {
      if (++requests == 3) {
        connection.Close();
        return false;
      }
    }
    return true;
  });
  StartSession(server);
  ASSERT_TRUE(table_.CreateSpecialChannel());
  const auto first = NewChannel();
  const auto second = NewChannel();
  LogCapture capture;

  auto firstResult = std::async(
      std::launch::async, [&] { return Request(*session_, *first, 100, 0, {1}, kLongTimeoutMs); });
  auto secondResult = std::async(
      std::launch::async, [&] { return Request(*session_, *second, 100, 0, {2}, kLongTimeoutMs); });
  auto specialResult = std::async(std::launch::async, [&] {
    return SendOnSpecialChannel(session_.get(), *table_.SpecialChannel(), nullptr, nullptr, 112, 0,
                                nullptr, 0, 300);
  });
  EXPECT_EQ(firstResult.get(), RequestResult::Stopping);
  EXPECT_EQ(secondResult.get(), RequestResult::Stopping);
  EXPECT_EQ(specialResult.get(), RequestResult::TimedOut);
  EXPECT_EQ(session_->serverState().state, Server_Down);
  EXPECT_FALSE(session_->IsConnected());
  EXPECT_TRUE(capture.Contains(LoggedAddress(*session_) +
                               " Server appears to be down. Will notify all channels"));
}

TEST_F(SessionChannelsTest, LateAnswerIsRefusedAndDoesNotDisturbTheNextRequest) {
  Handover<WireFrame> reply;
  std::optional<WireFrame> first;
  FakeServer server = ScriptedServer([&](FakeConnection& connection, const WireFrame& frame) {
    if (frame.messageType != 100) {
      return true;
    }
    if (!first) {
      // The first request times out unanswered.
      first = frame;
      return true;
    }
    // The second request is running: answers to the first one arrive late.
    connection.Send(AnswerTo(*first, 104, 1));
    connection.Send(AnswerTo(*first, 101, 2));
    if (const auto errorReply = connection.ReadFrame()) {
      reply.Set(*errorReply);
    }
    return connection.Send(AnswerTo(frame, 104, 1));
  });
  StartSession(server);
  const auto channel = NewChannel();
  LogCapture capture;

  EXPECT_EQ(Request(*session_, *channel, 100, 0, {}, 50), RequestResult::TimedOut);
  EXPECT_EQ(Request(*session_, *channel, 100, 0, {}, kLongTimeoutMs), RequestResult::Answered);
  EXPECT_EQ(channel->requestSeq(), 2u);

  const std::optional<WireFrame> errorReply = reply.Get();
  ASSERT_TRUE(errorReply.has_value());
  EXPECT_EQ(errorReply->messageType, kErrorReplyType);
  EXPECT_EQ(errorReply->requestSeq, 1u);
  EXPECT_EQ(errorReply->channelIndex, channel->index());
  EXPECT_EQ(errorReply->PlainPayload(), Le32(DeliveryResult::StaleRequest));
  EXPECT_EQ(capture.Count(" Received message cannot be processed. "), 2u);
}

// What the conversation test's handler saw and how it answers.
struct Conversation {
  SockCommSession* session = nullptr;
  SockThreadChannel* channel = nullptr;
  std::vector<uint32_t> types;
  std::thread::id thread;
  void* requester = nullptr;

  static void Handle(const CommMessagePtr& message, void* context, void* requester) {
    auto* self = static_cast<Conversation*>(context);
    const ReceivedMessage received(*message);
    self->types.push_back(received.messageType());
    self->thread = std::this_thread::get_id();
    self->requester = requester;
    if (received.messageType() == 101) {
      // The reply goes out inside the running request, without a wait of its own.
      EXPECT_EQ(Request(*self->session, *self->channel, 102, 2, {0xAA}, kLongTimeoutMs), 0);
    }
  }
};

TEST_F(SessionChannelsTest, ConversationRequestIsHandledOnTheRequestersThread) {
  Handover<std::vector<WireFrame>> seen;
  FakeServer server = ScriptedServer([&](FakeConnection& connection, const WireFrame& request) {
    if (request.messageType != 100) {
      return true;
    }
    connection.Send(ToChannel(request.channelIndex, request.requestSeq, 0xABCDEF0123, 101, 2, {5}));
    const auto reply = connection.ReadFrame();
    if (!reply) {
      return false;
    }
    seen.Set({request, *reply});
    return connection.Send(AnswerTo(*reply, 104, 1, {0, 0, 0, 0}));
  });
  StartSession(server);
  Conversation conversation;
  const auto channel = NewChannel(&Conversation::Handle, &conversation);
  conversation.session = session_.get();
  conversation.channel = channel.get();

  int key = 0;
  EXPECT_EQ(Request(*session_, *channel, 100, 0, {1, 2, 3}, kLongTimeoutMs, &key),
            RequestResult::Answered);
  EXPECT_EQ(conversation.types, (std::vector<uint32_t>{101, 104}));
  EXPECT_EQ(conversation.thread, std::this_thread::get_id());
  EXPECT_EQ(conversation.requester, &key);

  const auto frames = seen.Get();
  ASSERT_TRUE(frames.has_value());
  const WireFrame& request = (*frames)[0];
  const WireFrame& reply = (*frames)[1];
  EXPECT_EQ(request.sendCount, 1u);
  EXPECT_EQ(request.answerTimeoutMs, kLongTimeoutMs);
  EXPECT_EQ(request.conversationId, 0u);
  EXPECT_EQ(reply.messageType, 102u);
  EXPECT_EQ(reply.messageKind, 2u);
  EXPECT_EQ(reply.conversationId, 0xABCDEF0123u);
  EXPECT_EQ(reply.requestSeq, request.requestSeq);
  EXPECT_EQ(reply.channelIndex, request.channelIndex);
  EXPECT_EQ(reply.sendCount, 2u);
  EXPECT_EQ(reply.answerTimeoutMs, -1);
}

TEST_F(SessionChannelsTest, ErrorAnswerEndsTheWaitWithItsCode) {
  std::vector<uint8_t> payload;
  FakeServer server = ScriptedServer([&](FakeConnection& connection, const WireFrame& request) {
    return request.messageType != 100 || connection.Send(AnswerTo(request, 100, 4, payload));
  });
  StartSession(server);
  const auto channel = NewChannel();
  struct Case {
    std::vector<uint8_t> payload;
    int32_t result;
  };
  const Case cases[] = {{Le32(1234), 1234}, {Le64(1234), RequestResult::ErrorWithoutCode}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.payload.size());
    payload = c.payload;
    EXPECT_EQ(Request(*session_, *channel, 100, 0, {}, kLongTimeoutMs), c.result);
  }
}

TEST_F(SessionChannelsTest, SynchronousReceiveKeepsTheConversationOfTheBoundChannel) {
  FakeServer server([](FakeConnection& connection) {
    if (connection.ReadFrame()) {
      connection.Send(HelloAnswer(0));
      connection.Send(ToChannel(0, 1, 0x1234, 101, 2));
      connection.Send(ToChannel(1, 1, 0x5678, 101, 2));
      connection.Send(ToChannel(0x7FFFFFFF, 1, 0x9ABC, 101, 2));
    }
    connection.WaitForClose();
  });
  session_ = NewSession(&table_);
  PointAt(*session_, server);
  // A synchronous session is driven by its caller alone.
  session_->SetSyncMode(true);
  EXPECT_EQ(session_->Start(), 0);
  ASSERT_EQ(session_->Connect(), 0);
  const auto mine = NewChannel();
  const auto theirs = table_.At(table_.AcquireChannel(NewSession(&table_), nullptr, nullptr, {}));
  for (const uint64_t conversation : {0x1234u, 0x5678u, 0x9ABCu}) {
    CommMessagePtr message;
    ASSERT_EQ(session_->Receive(message), 0);
    EXPECT_EQ(ReceivedMessage(*message).conversationId(), conversation);
  }
  EXPECT_EQ(mine->conversationId(), 0x1234u);
  EXPECT_EQ(theirs->conversationId(), 0u);
  session_->Disconnect();
  EXPECT_FALSE(session_->IsConnected());
  EXPECT_TRUE(session_->closed());
}

TEST_F(SessionChannelsTest, RequestsOnTheSpecialChannel) {
  std::mutex mutex;
  std::vector<WireFrame> received;
  FakeServer server = ScriptedServer([&](FakeConnection& connection, const WireFrame& frame) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      received.push_back(frame);
    }
    if (frame.messageType != 112) {
      return true;
    }
    connection.Send(ToChannel(kSpecialChannelIndex, frame.requestSeq, 0x77, 110, 2, {1}));
    return connection.Send(AnswerTo(frame, 112, 1, Le32(42)));
  });
  ASSERT_TRUE(table_.CreateSpecialChannel());
  SockThreadChannel& special = *table_.SpecialChannel();
  EXPECT_EQ(SendOnSpecialChannel(nullptr, special, nullptr, nullptr, 112, 0, nullptr, 0, 1000),
            RequestResult::NotSent);
  StartSession(server);

  HelloLog answers;
  std::vector<uint8_t> payload = {4, 3, 2, 1};
  EXPECT_EQ(SendOnSpecialChannel(session_.get(), special, &HelloLog::Record, &answers, 112, 0,
                                 payload.data(), 4, kLongTimeoutMs),
            RequestResult::Answered);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(ReceivedMessage(*answers.messages()[0]).messageType(), 110u);
  EXPECT_EQ(ReceivedMessage(*answers.messages()[1]).messageKind(), 1u);
  EXPECT_EQ(answers.requesters(), (std::vector<void*>{nullptr, nullptr}));
  EXPECT_EQ(special.conversationId(), 0x77u);

  // A one-way message is sent without a wait.
  EXPECT_EQ(SendOnSpecialChannel(session_.get(), special, &HelloLog::Record, &answers, 113, 3,
                                 payload.data(), 4, kLongTimeoutMs),
            0);
  // A message that cannot be built is not waited for, and the channel stays usable.
  EXPECT_EQ(SendOnSpecialChannel(session_.get(), special, nullptr, nullptr, 112, 0, payload.data(),
                                 0xFFFFFFFF, kLongTimeoutMs),
            RequestResult::NotSent);
  EXPECT_FALSE(special.waiting());

  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard<std::mutex> lock(mutex);
    return received.size() == 2;
  }));
  {
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(received[0].messageType, 112u);
    EXPECT_EQ(received[0].channelIndex, kSpecialChannelIndex);
    EXPECT_EQ(received[0].requestSeq, 1u);
    EXPECT_EQ(received[0].sendCount, 0u);
    EXPECT_EQ(received[0].answerTimeoutMs, kLongTimeoutMs);
    EXPECT_EQ(received[0].PlainPayload(), payload);
    EXPECT_EQ(received[1].messageType, 113u);
    EXPECT_EQ(received[1].sendCount, 1u);
    EXPECT_EQ(received[1].conversationId, 0x77u);
    EXPECT_EQ(received[1].answerTimeoutMs, -1);
  }
  // The answer handler is cleared: later messages reach nobody.
  EXPECT_EQ(answers.size(), 2u);

  for (const int32_t state : {Server_Down, Server_Retired}) {
    session_->SetServerState(state, true);
    EXPECT_EQ(SendOnSpecialChannel(session_.get(), special, nullptr, nullptr, 112, 0, nullptr, 0,
                                   kLongTimeoutMs),
              RequestResult::NotInitialised);
  }
}

}  // namespace
}  // namespace sondrel::test
