// The ping a session sends for the pool manager: latency measured against the threshold, slow and
// unanswered pings counted, servers that do not echo, sessions that are closing, and a stop during
// the wait.
#include <gtest/gtest.h>

#include <future>
#include <memory>

#include "comm/server_state.h"
#include "comm/sock_comm_session.h"
#include "support/fake_server/session_script.h"
#include "support/log_capture.h"
#include "unit/comm/client_test_support.h"
#include "unit/comm/session_test_support.h"

namespace sondrel::test {
namespace {

struct Connected {
  std::unique_ptr<FakeServer> server;
  std::shared_ptr<SockCommSession> session;
};

Connected ConnectedSession(SessionScript script, uint64_t thresholdUs = 50000) {
  Connected connected{ScriptedServer(std::move(script)), NewSession()};
  PointAt(*connected.session, *connected.server);
  connected.session->SetLatencyThresholdUs(thresholdUs);
  connected.session->Start();
  EXPECT_EQ(connected.session->serverState().state, Server_Normal);
  return connected;
}

TEST(SessionPingTest, QuickEchoesKeepTheSlowCountAtZero) {
  Connected c = ConnectedSession({});
  LogCapture capture;
  c.session->PingServer();
  c.session->PingServer();
  EXPECT_EQ(c.session->slowPingCount(), 0);
  EXPECT_EQ(c.session->pingOutstanding(), 0);
  EXPECT_GE(c.session->lastLatencyUs(), 0);
  const std::string s = LoggedAddress(*c.session);
  EXPECT_TRUE(capture.Contains(s + " PingServer --> conn status is: 0"));
  EXPECT_TRUE(capture.Contains(s + " PingServer wait "));
  EXPECT_TRUE(capture.Contains(s + " PingServer wait end. conn status is: 0"));
  EXPECT_EQ(capture.Count(s + " PingServer <-- "), 2u);
  c.session->Stop();
}

TEST(SessionPingTest, LateEchoesCountAsSlowAndAQuickOneResetsTheCount) {
  SessionScript script;
  script.pingDelayMs = 80;
  Connected c = ConnectedSession(script);
  c.session->PingServer();
  EXPECT_EQ(c.session->slowPingCount(), 1);
  EXPECT_GT(c.session->lastLatencyUs(), 50000);
  c.session->PingServer();
  EXPECT_EQ(c.session->slowPingCount(), 2);
  c.session->SetLatencyThresholdUs(5'000'000);
  c.session->PingServer();
  EXPECT_EQ(c.session->slowPingCount(), 0);
  c.session->Stop();
}

TEST(SessionPingTest, AnUnansweredPingWaitsTwoSecondsAndCountsAsSlow) {
  SessionScript script;
  script.ping = SessionScript::Ping::Silent;
  Connected c = ConnectedSession(script);
  c.session->PingServer();
  EXPECT_EQ(c.session->slowPingCount(), 1);
  EXPECT_EQ(c.session->pingOutstanding(), 1);
  EXPECT_EQ(c.session->serverState().state, Server_Normal);
  c.session->Stop();
}

TEST(SessionPingTest, AServerThatDoesNotEchoIsNotPingedAgain) {
  SessionScript script;
  script.ping = SessionScript::Ping::EmptyEcho;
  Connected c = ConnectedSession(script);
  c.session->PingServer();
  EXPECT_FALSE(c.session->pingEchoes());
  EXPECT_EQ(c.session->slowPingCount(), 0);
  LogCapture capture;
  c.session->PingServer();
  const std::string s = LoggedAddress(*c.session);
  EXPECT_TRUE(capture.Contains(s + " Server is old and sends ping on a separate thread."));
  EXPECT_FALSE(capture.Contains(s + " PingServer wait "));
  c.session->Stop();
}

TEST(SessionPingTest, ClosingSessionsAreNotPinged) {
  Connected c = ConnectedSession({});
  c.session->SetServerState(Server_Retired, true);
  LogCapture capture;
  c.session->PingServer();
  const std::string s = LoggedAddress(*c.session);
  EXPECT_TRUE(capture.Contains(s + " Server connection is closing."));
  EXPECT_TRUE(capture.Contains(s + " PingServer <-- "));
  EXPECT_FALSE(capture.Contains(s + " PingServer wait "));
  c.session->Stop();
}

TEST(SessionPingTest, StopDuringTheWaitEndsItAndCountsThePing) {
  SessionScript script;
  script.ping = SessionScript::Ping::Silent;
  Connected c = ConnectedSession(script);
  LogCapture capture;
  auto ping = std::async(std::launch::async, [&] { c.session->PingServer(); });
  ASSERT_TRUE(capture.WaitFor(LoggedAddress(*c.session) + " PingServer wait "));
  c.session->Stop();
  ping.get();
  EXPECT_TRUE(c.session->timerStopped());
  EXPECT_EQ(c.session->slowPingCount(), 1);
}

}  // namespace
}  // namespace sondrel::test
