// The comm client without its pool manager's maintenance: the single-server mode, starting in pool
// mode, region matching, and the operations on the pool (best session, server list, endpoints,
// channel servers).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "comm/comm_client_options.h"
#include "comm/i_server_endpoint.h"
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

constexpr std::array<uint8_t, 16> kOtherId = {0xAA, 1, 2,  3,  4,  5,  6,  7,
                                              8,    9, 10, 11, 12, 13, 14, 15};

TEST(CommClientTest, SingleServerModeMakesOneSessionFromHostAndPort) {
  std::atomic<int> hellos{0};
  SessionScript script;
  script.hello = [&](const WireFrame&) {
    ++hellos;
    return std::optional<WireFrame>(HelloAnswer(0));
  };
  auto server = ScriptedServer(script);
  SockCommClient client;
  client.SetOption(kOptionHost, "127.0.0.1");
  client.SetOption(kOptionPort, std::to_string(server->port()).c_str());
  SetInt(client, kOptionRequestTimeout, 2000);
  const std::vector<uint8_t> hello = HelloRecord();
  SetInt(client, kOptionHelloLength, static_cast<int32_t>(hello.size()));
  client.SetOption(kOptionHelloPayload, hello.data());
  client.ApplyOptions();
  ASSERT_EQ(client.Start(), 0);

  const auto sessions = client.Sessions();
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0]->GetHost(), "127.0.0.1");
  EXPECT_EQ(sessions[0]->GetPort(), std::to_string(server->port()));
  EXPECT_FALSE(sessions[0]->useTls());
  EXPECT_EQ(sessions[0]->helloLength(), 0u);
  EXPECT_EQ(sessions[0]->serverEntry().priority, 0);
  EXPECT_EQ(sessions[0]->serverState().state, Server_Normal);
  EXPECT_TRUE(sessions[0]->runningDataObtained());
  EXPECT_EQ(hellos.load(), 0);
  // The single session counts as the first pass: requests are accepted.
  const int32_t channel = client.AcquireChannel();
  EXPECT_NE(client.SendRequest(nullptr, channel, 110, MessageKind::OneWay, nullptr, 0, 100, true),
            RequestResult::NotInitialised);
  client.Stop();
  EXPECT_TRUE(client.Sessions().empty());
}

TEST(CommClientTest, OptionsThatWereNotAppliedDoNotChangeTheStart) {
  auto single = ScriptedServer();
  auto pooled = ScriptedServer({}, "127.0.0.2");
  SockCommClient client;
  client.SetOption(kOptionHost, "127.0.0.1");
  client.SetOption(kOptionPort, std::to_string(single->port()).c_str());
  SetInt(client, kOptionRequestTimeout, 2000);
  client.ApplyOptions();
  const std::vector<CommServerEntry> servers = {EntryFor(*pooled, 1)};
  client.SetOption(kOptionServers, &servers);
  SetInt(client, kOptionPoolMode, 1);
  ASSERT_EQ(client.Start(), 0);
  EXPECT_EQ(PoolHosts(client), std::vector<std::string>{"127.0.0.1"});
  EXPECT_TRUE(single->WaitForConnections(1));
  client.Stop();
  EXPECT_FALSE(pooled->WaitForConnections(1, 100));
}

TEST(CommClientTest, PoolModeStartReturnsAfterTheFirstPass) {
  auto server = ScriptedServer();
  SockCommClient client;
  ASSERT_EQ(StartWithServer(client, *server), 0);
  const auto sessions = client.Sessions();
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0]->serverState().state, Server_Normal);
  EXPECT_EQ(sessions[0]->helloLength(), 292u);
  EXPECT_EQ(sessions[0]->serverEntry(), EntryFor(*server, 1));
  client.Stop();
}

TEST(CommClientTest, RegionMatchIsACaseSensitiveSubstringSearch) {
  SockCommClient client;
  std::vector<CommServerEntry> servers(4);
  servers[0].address = "eu1";
  servers[1].address = "node-eu";
  servers[2].address = "EU1";
  servers[3].address = "us1";
  servers[3].regionMatch = 1;
  client.SetOption(kOptionServers, &servers);
  client.SetOption(kOptionRegion, "eu");
  // Nothing is connected: only the flags are looked at.
  SetInt(client, kOptionEnableScan, 0);
  client.ApplyOptions();
  ASSERT_EQ(client.Start(), 0);
  std::vector<int32_t> flags;
  for (const auto& server : client.ActiveOptions().servers) {
    flags.push_back(server.regionMatch);
  }
  EXPECT_EQ(flags, (std::vector<int32_t>{1, 1, 0, 0}));
  client.Stop();
}

TEST(CommClientTest, ListServersPutsTheBestFirstAndAppends) {
  SessionScript overloaded;
  overloaded.hello = [](const WireFrame&) { return std::optional<WireFrame>(HelloAnswer(0, 0x4)); };
  overloaded.pingStatus = 0x4;
  auto first = ScriptedServer(overloaded);
  auto second = ScriptedServer({}, "127.0.0.2");
  SockCommClient client;
  Configure(client, {.servers = {EntryFor(*first, 1), EntryFor(*second, 2)},
                     .minServerConnections = 2,
                     .reconnectInterval = 30});
  ASSERT_EQ(client.Start(), 0);
  ASSERT_TRUE(WaitForPool(client, {"127.0.0.1", "127.0.0.2"}));

  std::vector<CommServerEntry> listed(1);
  listed[0].address = "kept";
  EXPECT_EQ(client.ListServers(listed), 0);
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0], EntryFor(*second, 2));
  EXPECT_EQ(listed[1].address, "kept");
  EXPECT_EQ(listed[2], EntryFor(*first, 1));
  client.Stop();
}

struct EndpointView {
  int32_t count = -1;
  std::string host;
  bool hasVersion = false;
  uint32_t version = 0;
  bool hasId = false;
  ServerIdentity id{};
  int32_t state = -1;
  int32_t sendResult = -1;
};

void Inspect(IServerEndpoint* const* endpoints, int32_t count, void* context) {
  auto* view = static_cast<EndpointView*>(context);
  view->count = count;
  if (count == 0) {
    return;
  }
  IServerEndpoint* endpoint = endpoints[0];
  view->host = endpoint->GetHostName();
  view->hasVersion = endpoint->GetServerVersion(&view->version);
  view->hasId = endpoint->GetServerId(&view->id);
  view->state = endpoint->GetState();
  uint8_t request[4] = {1, 0, 0, 0};
  view->sendResult = endpoint->Send(nullptr, nullptr, MessageType::AllocateSlot,
                                    MessageKind::Request, request, sizeof(request), 2000);
}

TEST(CommClientTest, EnumerateEndpointsOfAnEmptyPool) {
  SockCommClient client;
  Configure(client, {.reconnectInterval = 30});
  ASSERT_EQ(client.Start(), 0);
  EndpointView view;
  EXPECT_EQ(client.EnumerateEndpoints(&Inspect, &view), 0);
  EXPECT_EQ(view.count, 0);
  EXPECT_EQ(client.EnumerateEndpoints(nullptr, &view), 1);
  client.Stop();
}

TEST(CommClientTest, EndpointsDescribeTheirServerAndSendOnTheSpecialChannel) {
  SessionScript script = ScriptWithId(kOtherId);
  script.onMessage = [](FakeConnection& connection, const WireFrame& frame) {
    if (frame.messageType != MessageType::AllocateSlot || frame.channelIndex != -2) {
      return true;
    }
    return connection.Send(AnswerTo(frame, MessageType::AllocateSlot, MessageKind::FinalAnswer,
                                    std::vector<uint8_t>(16, 7)));
  };
  auto server = ScriptedServer(script);
  SockCommClient client;
  ASSERT_EQ(StartWithServer(client, *server), 0);
  EndpointView view;
  EXPECT_EQ(client.EnumerateEndpoints(&Inspect, &view), 0);
  EXPECT_EQ(view.count, 1);
  EXPECT_EQ(view.host, "127.0.0.1");
  EXPECT_TRUE(view.hasVersion);
  EXPECT_EQ(view.version, 3u | 1u << 16);
  EXPECT_TRUE(view.hasId);
  EXPECT_EQ(view.id, kOtherId);
  EXPECT_EQ(view.state, Server_Normal);
  EXPECT_EQ(view.sendResult, RequestResult::Answered);
  client.Stop();
}

TEST(CommClientTest, ChannelServerIsTheBoundSessionsHost) {
  auto server = ScriptedServer(FinalAnswers());
  SockCommClient client;
  ASSERT_EQ(StartWithServer(client, *server), 0);
  const int32_t channel = client.AcquireChannel();
  char* host = nullptr;
  bool tls = true;
  EXPECT_FALSE(client.GetChannelServer(channel, &host, &tls));
  ASSERT_EQ(client.SendRequest(nullptr, channel, MessageType::ValueRequest, MessageKind::Request,
                               nullptr, 0, 2000, true),
            RequestResult::Answered);
  ASSERT_TRUE(client.GetChannelServer(channel, &host, &tls));
  ASSERT_NE(host, nullptr);
  EXPECT_STREQ(host, "127.0.0.1");
  EXPECT_FALSE(tls);
  client.FreeBuffer(&host);
  EXPECT_EQ(host, nullptr);
  client.FreeBuffer(&host);
  client.ReleaseChannel(channel);
  EXPECT_FALSE(client.GetChannelServer(channel, &host, &tls));
  client.Stop();
}

TEST(CommClientTest, BestSessionOperationsNeedAUsableSession) {
  auto server = ScriptedServer();
  SockCommClient client;
  ASSERT_EQ(StartWithServer(client, *server), 0);
  ASSERT_EQ(client.Sessions().size(), 1u);
  EXPECT_EQ(client.ConnectBest(), 0);
  client.Sessions()[0]->SetServerState(Server_Down, true);
  EXPECT_EQ(client.ConnectBest(), ISockCommClient::kNoUsableSession);
  CommMessagePtr message;
  EXPECT_EQ(client.ReceiveBest(message), ISockCommClient::kNoUsableSession);
  client.CloseBest();
  client.Stop();
  EXPECT_EQ(client.ConnectBest(), ISockCommClient::kNoUsableSession);
}

}  // namespace
}  // namespace sondrel::test
