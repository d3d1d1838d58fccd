// The pool manager with two or three fake servers: which sessions a pass keeps, replaces, retires
// and removes, and what it reports to the client's owner.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "comm/comm_client_options.h"
#include "comm/request_result.h"
#include "comm/server_state.h"
#include "comm/sock_comm_client.h"
#include "comm/sock_comm_session.h"
#include "protocol/message_codes.h"
#include "support/fake_server/server_frames.h"
#include "support/fake_server/session_script.h"
#include "unit/comm/client_test_support.h"
#include "unit/comm/session_test_support.h"

namespace sondrel::test {
namespace {

constexpr std::array<uint8_t, 16> kSharedId = {0x51, 1, 2,  3,  4,  5,  6,  7,
                                               8,    9, 10, 11, 12, 13, 14, 15};

using Hosts = std::vector<std::string>;

std::vector<int32_t> PoolStates(const SockCommClient& client) {
  std::vector<int32_t> states;
  for (const auto& session : client.Sessions()) {
    states.push_back(session->serverState().state);
  }
  return states;
}

// Waits until the owner has been told about `passes` more passes.
bool WaitForPasses(const CallbackLog& callbacks, size_t passes, int timeoutMs = 10000) {
  const size_t target = callbacks.availability().size() + passes;
  return WaitFor([&] { return callbacks.availability().size() >= target; }, timeoutMs);
}

TEST(PoolManagerTest, AServerNoBetterThanThePoolIsConnectedAndDiscarded) {
  auto first = ScriptedServer();
  auto second = ScriptedServer({}, "127.0.0.2");
  SockCommClient client;
  Configure(client, {.servers = {EntryFor(*second, 2), EntryFor(*first, 1)},
                     .minServerConnections = 1,
                     .maxServerConnections = 5,
                     .reconnectInterval = 30});
  ASSERT_EQ(client.Start(), 0);
  EXPECT_EQ(PoolHosts(client), Hosts{"127.0.0.1"});
  EXPECT_TRUE(second->WaitForConnections(1));
  EXPECT_TRUE(second->WaitForScripts(1));
  client.Stop();
}

TEST(PoolManagerTest, AnOverloadedServerIsReplacedAndRetiredOnceItsChannelIsReleased) {
  // The first server reports itself overloaded in its answer to the request that binds a channel
  // to it.
  SessionScript overloading;
  overloading.onMessage = [](FakeConnection& connection, const WireFrame& frame) {
    WireFrame answer = AnswerTo(frame, MessageType::ScanFinished, MessageKind::FinalAnswer);
    answer.serverStatus = 0x4;
    return connection.Send(answer);
  };
  auto first = ScriptedServer(overloading);
  auto second = ScriptedServer({}, "127.0.0.2");
  CallbackLog callbacks;
  SockCommClient client;
  callbacks.RegisterWith(client);
  Configure(client,
            {.servers = {EntryFor(*first, 1), EntryFor(*second, 2)}, .reconnectInterval = 0});
  ASSERT_EQ(client.Start(), 0);
  ASSERT_EQ(PoolHosts(client), Hosts{"127.0.0.1"});
  const auto overloaded = client.Sessions().front();
  const int32_t channel = client.AcquireChannel();
  ASSERT_EQ(client.SendRequest(nullptr, channel, MessageType::ValueRequest, MessageKind::Request,
                               nullptr, 0, 2000, true),
            RequestResult::Answered);
  // A pass may already have retired it: passes follow each other every 100 ms here.
  const int32_t stateAfterAnswer = overloaded->serverState().state;
  ASSERT_TRUE(stateAfterAnswer == Server_Overloaded || stateAfterAnswer == Server_Retired)
      << stateAfterAnswer;

  // The normal server beats the overloaded one, which the trim retires but keeps for its channel.
  ASSERT_TRUE(WaitForPool(client, {"127.0.0.1", "127.0.0.2"}));
  ASSERT_TRUE(WaitFor([&] {
    return PoolStates(client) == std::vector<int32_t>{Server_Retired, Server_Normal};
  }));
  ASSERT_TRUE(WaitForPasses(callbacks, 2));
  EXPECT_EQ(PoolHosts(client), (Hosts{"127.0.0.1", "127.0.0.2"}));
  EXPECT_TRUE(callbacks.availability().back().available);
  EXPECT_EQ(callbacks.availability().back().state, Server_Normal);

  client.ReleaseChannel(channel);
  EXPECT_TRUE(WaitForPool(client, {"127.0.0.2"}));
  EXPECT_TRUE(first->WaitForScripts(1));
  client.Stop();
}

TEST(PoolManagerTest, SecondSessionsToTheSameServer) {
  struct Case {
    bool accept;
    int32_t minimum;
    size_t sessions;
  };
  const Case cases[] = {{false, 2, 1}, {true, 2, 2}, {true, 1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.accept << " " << c.minimum);
    auto server = ScriptedServer();
    CallbackLog callbacks;
    SockCommClient client;
    callbacks.RegisterWith(client);
    // The same address and TLS flag, whatever the priority.
    Configure(client, {.servers = {EntryFor(*server, 1), EntryFor(*server, 2)},
                       .minServerConnections = c.minimum,
                       .reconnectInterval = 0,
                       .acceptConnectSameServer = c.accept});
    ASSERT_EQ(client.Start(), 0);
    ASSERT_TRUE(WaitForPasses(callbacks, 3));
    EXPECT_EQ(client.Sessions().size(), c.sessions);
    client.Stop();
    EXPECT_FALSE(server->WaitForConnections(c.sessions + 1, 0));
  }
}

TEST(PoolManagerTest, DisablingScanningRetiresAndRemovesEverySession) {
  auto server = ScriptedServer(FinalAnswers());
  CallbackLog callbacks;
  SockCommClient client;
  callbacks.RegisterWith(client);
  Configure(client, {.servers = {EntryFor(*server, 1)}, .reconnectInterval = 0});
  ASSERT_EQ(client.Start(), 0);
  const int32_t channel = client.AcquireChannel();
  ASSERT_EQ(client.SendRequest(nullptr, channel, MessageType::ValueRequest, MessageKind::Request,
                               nullptr, 0, 2000, true),
            RequestResult::Answered);

  SetInt(client, kOptionEnableScan, 0);
  client.ApplyOptions();
  ASSERT_TRUE(WaitFor([&] { return PoolStates(client) == std::vector<int32_t>{Server_Retired}; }));
  ASSERT_TRUE(WaitForPasses(callbacks, 1));
  // A retired session that still serves a channel does not make the servers available.
  EXPECT_FALSE(callbacks.availability().back().available);

  client.ReleaseChannel(channel);
  ASSERT_TRUE(WaitFor([&] { return client.Sessions().empty(); }));
  ASSERT_TRUE(WaitForPasses(callbacks, 1));
  EXPECT_FALSE(callbacks.availability().back().available);
  EXPECT_EQ(callbacks.availability().back().state, Server_Down);
  EXPECT_TRUE(server->WaitForScripts(1));
  client.Stop();
}

TEST(PoolManagerTest, ReloadEndsTheWaitAndRebuildsFromTheNewList) {
  auto first = ScriptedServer();
  auto second = ScriptedServer({}, "127.0.0.2");
  SockCommClient client;
  ASSERT_EQ(StartWithServer(client, *first), 0);
  ASSERT_EQ(PoolHosts(client), Hosts{"127.0.0.1"});

  const std::vector<CommServerEntry> servers = {EntryFor(*second, 1)};
  client.SetOption(kOptionServers, &servers);
  client.ApplyOptions();
  client.ReloadServers();
  // Well before the 30-second wait would have ended.
  EXPECT_TRUE(WaitForPool(client, {"127.0.0.2"}, 10000));
  EXPECT_TRUE(first->WaitForScripts(1));
  client.Stop();
  client.ReloadServers();
  EXPECT_TRUE(client.Sessions().empty());
}

TEST(PoolManagerTest, AServerIsGoneWhenTheLastSessionWithItsIdentityIsRemoved) {
  auto first = ScriptedServer(ScriptWithId(kSharedId));
  auto second = ScriptedServer(ScriptWithId(kSharedId), "127.0.0.2");
  CallbackLog callbacks;
  SockCommClient client;
  callbacks.RegisterWith(client);
  Configure(client, {.servers = {EntryFor(*first, 1), EntryFor(*second, 2)},
                     .minServerConnections = 2,
                     .reconnectInterval = 0});
  ASSERT_EQ(client.Start(), 0);
  ASSERT_TRUE(WaitForPool(client, {"127.0.0.1", "127.0.0.2"}));

  first.reset();
  ASSERT_TRUE(WaitForPool(client, {"127.0.0.2"}));
  ASSERT_TRUE(WaitForPasses(callbacks, 2));
  EXPECT_TRUE(callbacks.goneCalls().empty());

  // A report answered with false is repeated at every pass until it is answered with true.
  callbacks.SetGoneAnswer(false);
  second.reset();
  ASSERT_TRUE(WaitFor([&] { return callbacks.goneCalls().size() >= 3; }));
  callbacks.SetGoneAnswer(true);
  ASSERT_TRUE(WaitFor([&] { return callbacks.acceptedGoneCalls() == 1; }));
  const size_t calls = callbacks.goneCalls().size();
  ASSERT_TRUE(WaitForPasses(callbacks, 3));
  const auto gone = callbacks.goneCalls();
  EXPECT_EQ(gone.size(), calls);
  EXPECT_EQ(callbacks.acceptedGoneCalls(), 1u);
  for (const ServerIdentity& identity : gone) {
    EXPECT_EQ(identity, kSharedId);
  }
  client.Stop();
}

TEST(PoolManagerTest, SlowPingsDropTheSessionInTheSamePass) {
  SessionScript slow;
  slow.pingDelayMs = 80;
  auto server = ScriptedServer(slow);
  CallbackLog callbacks;
  SockCommClient client;
  callbacks.RegisterWith(client);
  SetInt(client, kOptionLatencyTimeout, 50000);
  Configure(client,
            {.servers = {EntryFor(*server, 1)}, .reconnectInterval = 30, .detectLatency = true});
  ASSERT_EQ(client.Start(), 0);
  ASSERT_TRUE(WaitFor([&] { return !callbacks.availability().empty(); }));
  EXPECT_FALSE(callbacks.availability()[0].available);
  EXPECT_EQ(callbacks.availability()[0].state, Server_Down);
  EXPECT_TRUE(client.Sessions().empty());
  EXPECT_TRUE(server->WaitForScripts(1));
  client.Stop();
}

TEST(PoolManagerTest, AbsurdOptionsNeitherCrashNorCorruptThePool) {
  auto server = ScriptedServer();
  std::vector<CommServerEntry> servers;
  for (int i = 0; i < 200; ++i) {
    CommServerEntry unusable;
    unusable.priority = i % 3 - 1;
    unusable.port = i % 2 == 0 ? "" : "not-a-port";
    unusable.address = i % 4 < 2 ? "" : "127.0.0.1";
    servers.push_back(unusable);
  }
  servers.push_back(EntryFor(*server, 0));
  struct Case {
    int32_t minimum;
    int32_t maximum;
    size_t sessions;
  };
  // A minimum of 0 or below trims the pool to nothing.
  const Case cases[] = {{-5, -1, 0}, {1000, 1, 1}, {-1, 1000, 0}, {1, 1000, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.minimum << " " << c.maximum);
    CallbackLog callbacks;
    SockCommClient client;
    callbacks.RegisterWith(client);
    Configure(client, {.servers = servers,
                       .minServerConnections = c.minimum,
                       .maxServerConnections = c.maximum,
                       .reconnectInterval = -10});
    ASSERT_EQ(client.Start(), 0);
    ASSERT_TRUE(WaitForPasses(callbacks, 2, 30000));
    EXPECT_EQ(client.Sessions().size(), c.sessions);
    client.Stop();
  }
}

}  // namespace
}  // namespace sondrel::test
