// Starting, stopping and restarting sessions, the running-server data request, and servers that
// end the connection at any point.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "comm/channel_table.h"
#include "comm/request_result.h"
#include "comm/send_message.h"
#include "comm/sock_comm_session.h"
#include "comm/sock_thread_channel.h"
#include "comm/tls_context.h"
#include "support/fake_server/fake_server.h"
#include "support/fake_server/server_frames.h"
#include "support/fake_server/session_script.h"
#include "support/log_capture.h"
#include "unit/comm/channel_requester.h"
#include "unit/comm/session_test_support.h"

namespace sondrel::test {
namespace {

FakeServer ServingServer(SessionScript script = {}) {
  return FakeServer([script](FakeConnection& connection) { ServeSession(connection, script); });
}

// Drops the test's reference and tells whether that was the last one.
bool Released(std::shared_ptr<SockCommSession>& session) {
  std::weak_ptr<SockCommSession> weak = session;
  session.reset();
  return weak.expired();
}

TEST(SessionLifecycleTest, StopWhileConnectingEnds) {
  // The server accepts but never takes part in the TLS handshake.
  FakeServer server([](FakeConnection& connection) { connection.WaitForClose(); });
  TlsContext tls;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    auto session = NewSession();
    PointAt(*session, server);
    session->attach_tls(true, &tls.context());
    session->SetConnectAsync(true);
    session->Start();
    ASSERT_TRUE(server.WaitForConnections(static_cast<size_t>(round) + 1));
    session->Stop();
    EXPECT_FALSE(session->IsConnected());
    EXPECT_EQ(session->serverState().state, Server_Down);
    EXPECT_TRUE(Released(session));
  }
}

TEST(SessionLifecycleTest, StopRightAfterAnAsynchronousStartEnds) {
  FakeServer server = ServingServer();
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    auto session = NewSession();
    PointAt(*session, server);
    session->SetConnectAsync(true);
    session->Start();
    session->Stop();
    EXPECT_TRUE(session->stopRequested());
    EXPECT_TRUE(session->timerStopped());
    EXPECT_TRUE(Released(session));
  }
}

TEST(SessionLifecycleTest, StopReleasesAWaitingRequester) {
  std::promise<void> requested;
  std::atomic<bool> once{false};
  SessionScript script;
  script.onMessage = [&](FakeConnection&, const WireFrame& frame) {
    if (frame.messageType == 100 && !once.exchange(true)) {
      requested.set_value();
    }
    return true;
  };
  FakeServer server = ServingServer(script);
  ChannelTable table;
  auto session = NewSession(&table);
  PointAt(*session, server);
  session->Start();
  ASSERT_TRUE(session->IsConnected());
  const auto channel = table.At(table.AcquireChannel(session, nullptr, nullptr, {}));
  auto result = std::async(std::launch::async,
                           [&] { return Request(*session, *channel, 100, 0, {}, 10000); });
  ASSERT_EQ(requested.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
  session->Stop();
  EXPECT_EQ(result.get(), RequestResult::Stopping);
  EXPECT_FALSE(session->IsConnected());
  table.ReleaseChannel(channel->index());
  EXPECT_TRUE(Released(session));
}

TEST(SessionLifecycleTest, StopWithQueuedWritesEnds) {
  SessionScript script;
  // The server stops reading after the greeting, so that the client's writes pile up.
  script.onMessage = [](FakeConnection& connection, const WireFrame&) {
    connection.Sleep(10000);
    return false;
  };
  FakeServer server = ServingServer(script);
  auto session = NewSession();
  PointAt(*session, server);
  session->Start();
  ASSERT_TRUE(session->IsConnected());
  std::vector<uint8_t> piece(1024 * 1024, 0x5A);
  for (int i = 0; i < 16; ++i) {
    ASSERT_EQ(send_message(*session, 0, 0, 0, 102, 3, piece.data(),
                           static_cast<uint32_t>(piece.size()), true, 0, -1),
              0);
  }
  LogCapture capture;
  session->Stop();
  EXPECT_TRUE(capture.Contains(" on_write_error: "));
  EXPECT_TRUE(Released(session));
}

TEST(SessionLifecycleTest, NothingIsWrittenAfterStop) {
  FakeServer server = ServingServer();
  auto session = NewSession();
  PointAt(*session, server);
  session->Start();
  session->Stop();
  EXPECT_EQ(send_message(*session, 0, 0, 0, 105, 3, nullptr, 0, true, 0, -1), kSendFailed);
  EXPECT_TRUE(Released(session));
}

TEST(SessionLifecycleTest, RestartAfterALostConnectionConnectsAgain) {
  std::atomic<int> connections{0};
  FakeServer server([&](FakeConnection& connection) {
    if (++connections == 1) {
      // The first connection is lost once the greeting is over.
      if (connection.ReadFrame()) {
        connection.Send(HelloAnswer(0));
      }
      if (connection.ReadFrame()) {
        connection.Send(RunningServerData(24, kTestServerId, 3, 1));
      }
      connection.Close();
      return;
    }
    ServeSession(connection, SessionScript{});
  });
  auto session = NewSession();
  PointAt(*session, server);
  session->Start();
  EXPECT_TRUE(session->runningDataObtained());
  ASSERT_TRUE(WaitFor([&] { return session->serverState().state == Server_Down; }));
  EXPECT_FALSE(session->IsConnected());

  EXPECT_EQ(session->Restart(), 0);
  EXPECT_TRUE(session->IsConnected());
  EXPECT_EQ(session->serverState().state, Server_Normal);
  EXPECT_TRUE(server.WaitForConnections(2));
  EXPECT_FALSE(session->closed());
  session->Stop();
  EXPECT_TRUE(Released(session));
}

TEST(SessionLifecycleTest, RunningServerDataThatDoesNotComeIsWaitedForFourSeconds) {
  SessionScript script;
  script.runningData.reset();
  FakeServer server = ServingServer(script);
  auto session = NewSession();
  PointAt(*session, server);
  session->SetRequestTimeoutMs(4000);
  LogCapture capture;
  session->Start();
  EXPECT_FALSE(session->runningDataObtained());
  EXPECT_TRUE(capture.Contains(LoggedAddress(*session) + " Not obtained running-server data"));
  session->Stop();
}

TEST(SessionLifecycleTest, RunningServerDataWithAWrongSizeIsNotTaken) {
  struct Case {
    uint32_t sizeField;
    bool taken;
  };
  for (const Case& c : {Case{20, false}, Case{24, true}}) {
    SCOPED_TRACE(c.sizeField);
    SessionScript script;
    script.runningData = RunningServerData(c.sizeField, kTestServerId, 3, 1);
    FakeServer server = ServingServer(script);
    auto session = NewSession();
    PointAt(*session, server);
    session->SetRequestTimeoutMs(c.taken ? 5000 : 100);
    LogCapture capture;
    session->Start();
    const std::string address = LoggedAddress(*session);
    EXPECT_EQ(session->runningDataObtained(), c.taken);
    EXPECT_EQ(capture.Contains(address + " Obtained running-server data"), c.taken);
    EXPECT_EQ(capture.Contains(address + " Not obtained running-server data"), !c.taken);
    if (c.taken) {
      EXPECT_TRUE(capture.Contains(
          address + " Obtained server data. ID: 01234567-89ab-cdef-1032-547698badcfeVersion: 3.1"));
    } else {
      EXPECT_TRUE(capture.WaitFor(address + " Could not deserialize a ServerGetRunningServerData"));
    }
    session->Stop();
  }
}

TEST(SessionLifecycleTest, ServerClosingAtAnyPoint) {
  using Bytes = std::vector<uint8_t>;
  struct Case {
    const char* name;
    // What the server sends after each frame it reads, before it closes.
    std::vector<Bytes> answers;
  };
  const Bytes hello = PackFrame(HelloAnswer(0));
  const Bytes data = PackFrame(RunningServerData(24, kTestServerId, 3, 1));
  Bytes dataAndRequestStart = data;
  const Bytes request = PackFrame(ToChannel(0, 1, 0, 101, 2, {1, 2, 3, 4}));
  dataAndRequestStart.insert(dataAndRequestStart.end(), request.begin(), request.begin() + 30);
  const std::vector<Case> cases = {
      {"before the hello answer", {{}}},
      {"inside the hello answer's header", {{hello.begin(), hello.begin() + 10}}},
      {"inside the hello answer's body", {{hello.begin(), hello.end() - 3}}},
      {"after the hello answer", {hello}},
      {"inside the running-server data", {hello, {data.begin(), data.end() - 5}}},
      {"after the greeting, inside a request", {hello, dataAndRequestStart}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeServer server([&](FakeConnection& connection) {
      for (const Bytes& answer : c.answers) {
        connection.ReadFrame();
        connection.SendRaw(answer);
      }
      connection.Close();
    });
    ChannelTable table;
    auto session = NewSession(&table);
    PointAt(*session, server);
    session->SetRequestTimeoutMs(100);
    session->Start();
    EXPECT_TRUE(WaitFor([&] { return session->serverState().state == Server_Down; }));
    EXPECT_FALSE(session->IsConnected());
    session->Stop();
    EXPECT_TRUE(Released(session));
  }
}

TEST(SessionLifecycleTest, ExceptionInAHandlerIsLoggedAndTheSessionGoesOn) {
  FakeServer server([](FakeConnection& connection) {
    connection.ReadFrame();
    connection.Send(HelloAnswer(0));
    // Unasked: the running-server data still reaches the session after the failed handler.
    connection.Send(RunningServerData(24, kTestServerId, 3, 1));
    connection.WaitForClose();
  });
  auto session = NewSession();
  PointAt(*session, server);
  session->SetConnectAsync(true);
  session->SetHelloCallback(nullptr, [](const CommMessagePtr&, void*, void*) {
    throw std::runtime_error("hello callback failed");
  });
  LogCapture capture;
  session->Start();
  EXPECT_TRUE(capture.WaitFor(LoggedAddress(*session) + " I/O thread: hello callback failed"));
  EXPECT_TRUE(WaitFor([&] { return session->runningDataObtained(); }));
  session->Stop();
  EXPECT_TRUE(Released(session));
}

}  // namespace
}  // namespace sondrel::test
