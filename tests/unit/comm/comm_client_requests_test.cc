// Requests through the comm client: what SendRequest answers before, after and around the pool,
// the payload it takes over, a conversation with the channel's handler, the failover of a scan
// request whose server drops the connection, and sessions marked down by time-outs.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "comm/comm_client_options.h"
#include "comm/request_result.h"
#include "comm/server_state.h"
#include "comm/sock_comm_client.h"
#include "comm/sock_comm_session.h"
#include "protocol/message_codes.h"
#include "protocol/received_message.h"
#include "support/fake_server/server_frames.h"
#include "support/fake_server/session_script.h"
#include "unit/comm/client_test_support.h"
#include "unit/comm/session_test_support.h"

namespace sondrel::test {
namespace {

// A pool mode client without servers: its first pass is done at once and no session ever exists.
void StartEmptyPool(SockCommClient& client, int32_t reconnectInterval = 30) {
  Configure(client, {.reconnectInterval = reconnectInterval});
  ASSERT_EQ(client.Start(), 0);
}

// A payload handed over to the client; only a leak checker sees whether it was released.
uint8_t* Payload(SockCommClient& client) {
  uint8_t* payload = client.AllocPayload(16);
  payload[0] = 0x42;
  return payload;
}

TEST(CommClientRequestsTest, BeforeTheFirstPassAndWhileStoppingTheCallerKeepsThePayload) {
  SockCommClient client;
  const int32_t channel = client.AcquireChannel();
  ASSERT_EQ(channel, 0);
  uint8_t* payload = Payload(client);
  EXPECT_EQ(client.SendRequest(nullptr, channel, 100, 0, payload, 16, 100, false),
            RequestResult::NotInitialised);
  StartEmptyPool(client);
  client.Stop();
  EXPECT_EQ(client.SendRequest(nullptr, channel, 100, 0, payload, 16, 100, false),
            RequestResult::Stopping);
  client.FreePayload(payload);
}

TEST(CommClientRequestsTest, AnIndexOutsideTheTableReleasesAHandedOverPayload) {
  SockCommClient client;
  StartEmptyPool(client);
  const int32_t channel = client.AcquireChannel();
  EXPECT_EQ(client.SendRequest(nullptr, channel + 1, 100, 0, Payload(client), 16, 100, false),
            RequestResult::NoChannel);
  EXPECT_EQ(client.SendRequest(nullptr, -1, 110, 2, Payload(client), 16, 100, false),
            RequestResult::NoChannel);
  uint8_t* kept = Payload(client);
  EXPECT_EQ(client.SendRequest(nullptr, channel + 1, 100, 0, kept, 16, 100, true),
            RequestResult::NoChannel);
  client.FreePayload(kept);
  client.Stop();
}

TEST(CommClientRequestsTest, NoSessionWakesThePoolManagerWithinFiveSeconds) {
  CallbackLog callbacks;
  SockCommClient client;
  callbacks.RegisterWith(client);
  StartEmptyPool(client, 30);
  ASSERT_EQ(callbacks.availability().size(), 1u);
  EXPECT_FALSE(callbacks.availability()[0].available);
  EXPECT_EQ(callbacks.availability()[0].state, Server_Down);
  const int32_t channel = client.AcquireChannel();
  EXPECT_EQ(client.SendRequest(nullptr, channel, 100, 0, Payload(client), 16, 100, false),
            RequestResult::NotSent);
  // The next pass would otherwise come 30 seconds later.
  EXPECT_TRUE(WaitFor([&] { return callbacks.availability().size() >= 2; }, 15000));
  client.Stop();
}

TEST(CommClientRequestsTest, AKindTwoRequestOnADownSessionIsNotSent) {
  FrameLog log;
  auto server = ScriptedServer(FinalAnswers(&log));
  SockCommClient client;
  ASSERT_EQ(StartWithServer(client, *server), 0);
  const int32_t channel = client.AcquireChannel();
  ASSERT_EQ(client.SendRequest(nullptr, channel, MessageType::ValueRequest, MessageKind::Request,
                               nullptr, 0, 2000, true),
            RequestResult::Answered);
  client.Sessions()[0]->SetServerState(Server_Down, true);
  EXPECT_EQ(client.SendRequest(nullptr, channel, MessageType::ValueRequest,
                               MessageKind::ConversationRequest, Payload(client), 16, 2000, false),
            RequestResult::ServerDown);
  client.Stop();
  EXPECT_EQ(log.frames().size(), 1u);
}

TEST(CommClientRequestsTest, ErrorAnswersOfOtherRequestsAreReturnedWithoutFailover) {
  SessionScript script;
  script.onMessage = [](FakeConnection& connection, const WireFrame& frame) {
    return connection.Send(
        AnswerTo(frame, frame.messageType, MessageKind::ErrorAnswer, Le32(1234)));
  };
  auto server = ScriptedServer(script);
  SockCommClient client;
  ASSERT_EQ(StartWithServer(client, *server), 0);
  const int32_t channel = client.AcquireChannel();
  EXPECT_EQ(client.SendRequest(nullptr, channel, MessageType::AllocateSlot, MessageKind::Request,
                               nullptr, 0, 2000, true),
            1234);
  EXPECT_EQ(client.Sessions()[0]->serverState().state, Server_Normal);
  client.Stop();
}

// The handler registered as code 9: answers the server's read request inside the wait.
struct Conversation {
  SockCommClient* client = nullptr;
  int32_t channel = -1;
  std::atomic<int> requests{0};
  void* requester = nullptr;

  static void Handle(const CommMessagePtr& message, void* context, void* requester) {
    auto* self = static_cast<Conversation*>(context);
    const ReceivedMessage received(*message);
    if (received.messageKind() != MessageKind::ConversationRequest) {
      return;
    }
    ++self->requests;
    self->requester = requester;
    uint8_t* answer = self->client->AllocPayload(4);
    answer[0] = 9;
    self->client->SendRequest(requester, received.channelIndex(), MessageType::ReadAnswer,
                              MessageKind::FinalAnswer, answer, 4, 2000, false);
  }
};

TEST(CommClientRequestsTest, TheChannelHandlerAnswersInsideTheConversation) {
  FrameLog log;
  SessionScript script;
  script.onMessage = [&log](FakeConnection& connection, const WireFrame& frame) {
    log.Record(frame);
    if (frame.messageType == MessageType::ScanRequest) {
      WireFrame read = AnswerTo(frame, MessageType::ReadRequest, MessageKind::ConversationRequest);
      read.conversationId = 77;
      return connection.Send(read);
    }
    if (frame.messageType == MessageType::ReadAnswer) {
      return connection.Send(
          AnswerTo(frame, MessageType::ScanFinished, MessageKind::FinalAnswer, Le32(0)));
    }
    return true;
  };
  auto server = ScriptedServer(script);
  SockCommClient client;
  Conversation conversation;
  conversation.client = &client;
  client.SetOption(kOptionHelloCallback, reinterpret_cast<const void*>(&Conversation::Handle));
  client.SetOption(kOptionCallbackContext, &conversation);
  ASSERT_EQ(StartWithServer(client, *server), 0);
  conversation.channel = client.AcquireChannel();
  int key = 0;
  EXPECT_EQ(client.SendRequest(&key, conversation.channel, MessageType::ScanRequest,
                               MessageKind::Request, Payload(client), 16, 2000, false),
            RequestResult::Answered);
  EXPECT_EQ(conversation.requests.load(), 1);
  EXPECT_EQ(conversation.requester, &key);
  const auto frames = log.frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].messageType, MessageType::ReadAnswer);
  EXPECT_EQ(frames[1].requestSeq, frames[0].requestSeq);
  EXPECT_EQ(frames[1].conversationId, 77u);
  EXPECT_EQ(frames[0].sendCount, 1u);
  EXPECT_EQ(frames[1].sendCount, 2u);
  EXPECT_EQ(frames[1].PlainPayload(), (std::vector<uint8_t>{9, 0, 0, 0}));
  // A scan request leaves its channel bound to no session.
  char* host = nullptr;
  bool tls = false;
  EXPECT_FALSE(client.GetChannelServer(conversation.channel, &host, &tls));
  client.Stop();
}

TEST(CommClientRequestsTest, AScanRequestWhoseServerDropsTheConnectionGoesToTheOtherSession) {
  FrameLog dropped;
  SessionScript dropping;
  dropping.onMessage = [&dropped](FakeConnection& connection, const WireFrame& frame) {
    dropped.Record(frame);
    if (frame.messageType == MessageType::ScanRequest) {
      connection.Close();
      return false;
    }
    return true;
  };
  FrameLog answered;
  auto first = ScriptedServer(dropping);
  auto second = ScriptedServer(FinalAnswers(&answered), "127.0.0.2");
  SockCommClient client;
  Configure(client, {.servers = {EntryFor(*first, 1), EntryFor(*second, 2)},
                     .minServerConnections = 2,
                     .reconnectInterval = 30});
  ASSERT_EQ(client.Start(), 0);
  ASSERT_TRUE(WaitForPool(client, {"127.0.0.1", "127.0.0.2"}));
  const int32_t channel = client.AcquireChannel();
  EXPECT_EQ(client.SendRequest(nullptr, channel, MessageType::ScanRequest, MessageKind::Request,
                               Payload(client), 16, 5000, false),
            RequestResult::Answered);
  ASSERT_EQ(dropped.frames().size(), 1u);
  ASSERT_EQ(answered.frames().size(), 1u);
  const WireFrame firstTry = dropped.frames()[0];
  const WireFrame secondTry = answered.frames()[0];
  EXPECT_EQ(secondTry.requestSeq, firstTry.requestSeq + 1);
  EXPECT_EQ(firstTry.sendCount, 1u);
  EXPECT_EQ(secondTry.sendCount, 1u);
  EXPECT_EQ(secondTry.PlainPayload(), firstTry.PlainPayload());
  EXPECT_EQ(secondTry.PlainPayload()[0], 0x42);
  EXPECT_EQ(client.Sessions()[0]->serverState().state, Server_Down);
  client.Stop();
}

TEST(CommClientRequestsTest, AScanRequestWithoutAnotherSessionEndsWithTheLostConnection) {
  SessionScript dropping;
  dropping.onMessage = [](FakeConnection& connection, const WireFrame& frame) {
    if (frame.messageType == MessageType::ScanRequest) {
      connection.Close();
      return false;
    }
    return true;
  };
  auto server = ScriptedServer(dropping);
  SockCommClient client;
  ASSERT_EQ(StartWithServer(client, *server), 0);
  const int32_t channel = client.AcquireChannel();
  EXPECT_EQ(client.SendRequest(nullptr, channel, MessageType::ScanRequest, MessageKind::Request,
                               Payload(client), 16, 5000, false),
            RequestResult::Stopping);
  client.Stop();
}

TEST(CommClientRequestsTest, ThreeConsecutiveTimeOutsMarkTheSessionDown) {
  auto server = ScriptedServer();
  SockCommClient client;
  ASSERT_EQ(StartWithServer(client, *server), 0);
  const int32_t channel = client.AcquireChannel();
  const auto session = client.Sessions().at(0);
  for (int attempt = 1; attempt <= 3; ++attempt) {
    SCOPED_TRACE(attempt);
    EXPECT_EQ(client.SendRequest(nullptr, channel, MessageType::ScanRequest, MessageKind::Request,
                                 Payload(client), 16, 50, false),
              RequestResult::TimedOut);
    EXPECT_EQ(session->timeoutCount(), attempt);
    EXPECT_EQ(session->serverState().state, attempt < 3 ? Server_Normal : Server_Down);
  }
  EXPECT_EQ(client.SendRequest(nullptr, channel, MessageType::ScanRequest, MessageKind::Request,
                               Payload(client), 16, 50, false),
            RequestResult::NotSent);
  client.Stop();
}

}  // namespace
}  // namespace sondrel::test
