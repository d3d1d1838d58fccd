// Stop ends the pool manager and every session promptly whatever the pool is doing: connecting to
// a server that never answers, waiting for running-server data or a ping echo, in the middle of
// passes, or with requesters waiting for answers.
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <optional>

#include "comm/comm_client_options.h"
#include "comm/request_result.h"
#include "comm/sock_comm_client.h"
#include "comm/sock_thread_channel.h"
#include "protocol/message_codes.h"
#include "support/fake_server/server_frames.h"
#include "support/fake_server/session_script.h"
#include "support/log_capture.h"
#include "unit/comm/client_test_support.h"
#include "unit/comm/session_test_support.h"

namespace sondrel::test {
namespace {

constexpr uint32_t kRunningDataType = 0xF0000003;

// Sockets without a time-out and a long request time-out: only Stop ends the waits below.
PoolSettings Unbounded(const FakeServer& server) {
  return {.servers = {EntryFor(server, 1)},
          .reconnectInterval = 30,
          .connectAsync = true,
          .requestTimeoutMs = 600000,
          .socketTimeoutMs = 0};
}

TEST(CommClientStopTest, StopEndsAConnectWhoseHelloIsNeverAnswered) {
  SessionScript script;
  script.hello = [](const WireFrame&) { return std::optional<WireFrame>(); };
  auto server = ScriptedServer(script);
  SockCommClient client;
  Configure(client, Unbounded(*server));
  ASSERT_EQ(client.Start(), 0);
  ASSERT_TRUE(server->WaitForConnections(1));
  client.Stop();
  EXPECT_TRUE(client.Sessions().empty());
  EXPECT_TRUE(server->WaitForScripts(1));
}

TEST(CommClientStopTest, StopEndsTheWaitForRunningServerData) {
  FrameLog log;
  SessionScript script;
  script.runningData.reset();
  script.onMessage = [&log](FakeConnection&, const WireFrame& frame) {
    log.Record(frame);
    return true;
  };
  auto server = ScriptedServer(script);
  SockCommClient client;
  Configure(client, Unbounded(*server));
  ASSERT_EQ(client.Start(), 0);
  ASSERT_TRUE(log.WaitForCount(1));
  ASSERT_EQ(log.frames()[0].messageType, kRunningDataType);
  client.Stop();
  EXPECT_TRUE(client.Sessions().empty());
  EXPECT_TRUE(server->WaitForScripts(1));
}

TEST(CommClientStopTest, StopEndsAPingWait) {
  SessionScript script;
  script.ping = SessionScript::Ping::Silent;
  auto server = ScriptedServer(script);
  SockCommClient client;
  LogCapture capture;
  Configure(client, Unbounded(*server));
  ASSERT_EQ(client.Start(), 0);
  ASSERT_TRUE(capture.WaitFor(" PingServer wait "));
  client.Stop();
  EXPECT_TRUE(client.Sessions().empty());
}

TEST(CommClientStopTest, StopReleasesWaitingRequesters) {
  auto server = ScriptedServer();
  SockCommClient client;
  PoolSettings settings = Unbounded(*server);
  settings.connectAsync = false;
  settings.requestTimeoutMs = 2000;
  Configure(client, settings);
  ASSERT_EQ(client.Start(), 0);
  const int32_t first = client.AcquireChannel();
  const int32_t second = client.AcquireChannel();
  auto request = [&](int32_t channel) {
    return std::async(std::launch::async, [&client, channel] {
      return client.SendRequest(nullptr, channel, MessageType::ValueRequest, MessageKind::Request,
                                nullptr, 0, 600000, true);
    });
  };
  auto firstResult = request(first);
  auto secondResult = request(second);
  ASSERT_TRUE(WaitFor([&] {
    return client.channels().At(first)->waiting() && client.channels().At(second)->waiting();
  }));
  client.Stop();
  EXPECT_EQ(firstResult.get(), RequestResult::Stopping);
  EXPECT_EQ(secondResult.get(), RequestResult::Stopping);
}

TEST(CommClientStopTest, StopAtAnyPointOfQuickPasses) {
  auto first = ScriptedServer();
  auto second = ScriptedServer({}, "127.0.0.2");
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    SockCommClient client;
    Configure(client, {.servers = {EntryFor(*first, 1), EntryFor(*second, 2)},
                       .minServerConnections = 2,
                       .reconnectInterval = 0,
                       .connectAsync = true});
    ASSERT_EQ(client.Start(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(round * 15));
    client.Stop();
    EXPECT_TRUE(client.Sessions().empty());
  }
}

}  // namespace
}  // namespace sondrel::test
