// The slot registry and the server access callback against scripted endpoints: what each
// operation sends to which server, what it makes of the answers, the pairs it keeps, and its log
// lines.
#include "slots/on_demand_slot_events.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logging/logger_registry.h"
#include "slots/server_access_callback.h"
#include "slots/slot_messages.h"
#include "support/log_capture.h"
#include "unit/slots/scripted_endpoints.h"

namespace sondrel {
namespace {

using test::AllocationAnswer;
using test::GrantPayload;
using test::LogCapture;
using test::ScriptedEndpoint;
using test::SentSlotMessage;

constexpr ServerIdentity kServerA = {0xAA, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0A};
constexpr ServerIdentity kServerB = {0xBB, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0B};
constexpr ServerIdentity kServerC = {0xCC, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0C};

ServerIdentity SlotBytes(uint8_t n) {
  return {0x51, 0x07, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, n};
}
QxGuid SlotId(uint8_t n) {
  return QxGuid::FromBytes(SlotBytes(n));
}
QxGuid Id(const ServerIdentity& server) {
  return QxGuid::FromBytes(server);
}
AllocationAnswer Grant(uint8_t n) {
  return {0, GrantPayload(SlotBytes(n))};
}
AllocationAnswer NoSlot() {
  return {0, std::vector<uint8_t>{}};
}

std::vector<uint8_t> Bytes(const auto& array) {
  return std::vector<uint8_t>(array.begin(), array.end());
}

const std::string kNullText = "00000000-0000-0000-0000-000000000000";

// The captured lines as "LEVEL message".
std::vector<std::string> Logged(const LogCapture& capture) {
  std::vector<std::string> logged;
  const std::vector<std::string> lines = capture.Lines();
  const std::vector<std::string> messages = capture.Messages();
  for (size_t i = 0; i < lines.size(); ++i) {
    logged.push_back(lines[i].substr(0, lines[i].find(' ')) + " " + messages[i]);
  }
  return logged;
}

class SlotRegistryTest : public ::testing::Test {
 protected:
  SlotRegistryTest() { client.endpoints = {&alpha, &beta}; }

  void Connect() { slots.SetCommClient(&client); }
  // Allocates from `endpoint`'s server, which grants slot n.
  void Allocate(ScriptedEndpoint& endpoint, const ServerIdentity& server, uint8_t n) {
    endpoint.allocations.push_back(Grant(n));
    QxGuid name;
    QxGuid serverId = Id(server);
    ASSERT_TRUE(slots.AllocSlot(name, serverId, false));
    ASSERT_EQ(name, SlotId(n));
  }

  std::vector<SentSlotMessage> sent;
  ScriptedEndpoint alpha{"alpha", kServerA, sent};
  ScriptedEndpoint beta{"beta", kServerB, sent};
  ScriptedEndpoint plain{"plain", std::nullopt, sent};
  test::EndpointCommClient client;
  OnDemandSlotEvents slots{GetLogger("qx.sondrel.slots")};
};

TEST_F(SlotRegistryTest, AllocationWithoutConnectionManagerFailsWithNullIdentifiers) {
  LogCapture capture;
  QxGuid name = SlotId(1);
  QxGuid server = QxGuid::Null();
  EXPECT_FALSE(slots.AllocSlot(name, server, false));
  EXPECT_TRUE(name.IsNull());
  EXPECT_TRUE(server.IsNull());
  EXPECT_EQ(Logged(capture),
            (std::vector<std::string>{"INFO -> OnDemandSlotEvents::AllocSlot(force: false",
                                      "INFO <- OnDemandSlotEvents::AllocSlot [result: fail, "
                                      "slotName: " +
                                          kNullText + ", serverRunningID: " + kNullText + "]"}));
  EXPECT_EQ(client.visits, 0);
}

TEST_F(SlotRegistryTest, AllocationAsksTheServerAndRecordsThePair) {
  Connect();
  slots.SetTimeout(250);
  beta.allocations.push_back(Grant(7));
  LogCapture capture;
  QxGuid name;
  QxGuid server = Id(kServerB);
  ASSERT_TRUE(slots.AllocSlot(name, server, true));
  EXPECT_EQ(name, SlotId(7));
  EXPECT_EQ(server, Id(kServerB));
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].host, "beta");
  EXPECT_EQ(sent[0].type, 112u);
  EXPECT_EQ(sent[0].kind, 0u);
  EXPECT_EQ(sent[0].payload, (std::vector<uint8_t>{8, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(sent[0].timeoutMs, 250);
  const Slot slot{Id(kServerB), SlotId(7)};
  EXPECT_EQ(slots.CurrentPairs(), (std::vector<SlotPair>{{slot, slot}}));
  EXPECT_EQ(Logged(capture),
            (std::vector<std::string>{"INFO -> OnDemandSlotEvents::AllocSlot(force: true",
                                      "INFO <- OnDemandSlotEvents::AllocSlot [result: success, "
                                      "slotName: " +
                                          SlotId(7).ToString() +
                                          ", serverRunningID: " + Id(kServerB).ToString() + "]"}));
}

TEST_F(SlotRegistryTest, AllocationForAnyServerGoesOnUntilOneGrants) {
  // Two sessions of a server without free slots, an empty entry and a server without slot
  // support come before the server that grants.
  ScriptedEndpoint alphaAgain{"alpha2", kServerA, sent};
  client.endpoints = {nullptr, &alpha, &plain, &alphaAgain, &beta};
  alpha.allocations.push_back(NoSlot());
  alphaAgain.allocations.push_back(NoSlot());
  beta.allocations.push_back(Grant(3));
  Connect();
  LogCapture capture;
  QxGuid name;
  QxGuid server;
  ASSERT_TRUE(slots.AllocSlot(name, server, false));
  EXPECT_EQ(name, SlotId(3));
  EXPECT_EQ(server, Id(kServerB));
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].host, "alpha");
  EXPECT_EQ(sent[1].host, "alpha2");
  EXPECT_EQ(sent[2].host, "beta");
  EXPECT_EQ(sent[2].payload, (std::vector<uint8_t>{8, 0, 0, 0, 0, 0, 0, 0}));
  const std::vector<std::string> logged = Logged(capture);
  ASSERT_EQ(logged.size(), 4u);
  EXPECT_EQ(logged[1], "WARN ServerAccessCallback: alpha : no slots available");
  EXPECT_EQ(logged[2], "WARN ServerAccessCallback: alpha2 : no slots available");
}

TEST_F(SlotRegistryTest, AFailedSendIsAnErrorAndASendWithoutAnswerGrantsNothing) {
  Connect();
  Allocate(beta, kServerB, 1);
  alpha.allocations.push_back({10, std::nullopt});
  // Returns success without the handler ever seeing an answer: the earlier grant must not count.
  beta.allocations.push_back({0, std::nullopt});
  LogCapture capture;
  QxGuid name;
  QxGuid server;
  EXPECT_FALSE(slots.AllocSlot(name, server, false));
  EXPECT_TRUE(name.IsNull());
  EXPECT_EQ(sent.size(), 3u);
  const std::vector<std::string> logged = Logged(capture);
  ASSERT_EQ(logged.size(), 4u);
  EXPECT_EQ(logged[1], "ERROR ServerAccessCallback: Cannot send message to alpha");
  EXPECT_EQ(logged[2], "WARN ServerAccessCallback: beta : no slots available");
  EXPECT_EQ(slots.CurrentPairs().size(), 1u);
}

TEST_F(SlotRegistryTest, ASpecificServerIsAskedThroughItsFirstSessionOnly) {
  ScriptedEndpoint betaAgain{"beta2", kServerB, sent};
  client.endpoints = {&alpha, &beta, &betaAgain};
  beta.allocations.push_back(NoSlot());
  betaAgain.allocations.push_back(Grant(4));
  Connect();
  QxGuid name;
  QxGuid server = Id(kServerB);
  EXPECT_FALSE(slots.AllocSlot(name, server, false));
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].host, "beta");
}

TEST_F(SlotRegistryTest, ServersWithoutSlotSupportGetInventedSlotsThatNeedNoMessages) {
  client.endpoints = {&alpha, &plain};
  Connect();
  LogCapture capture;
  // A server identity no session reports: nothing is sent, a slot is invented.
  QxGuid name;
  QxGuid server = Id(kServerC);
  ASSERT_TRUE(slots.AllocSlot(name, server, false));
  EXPECT_FALSE(name.IsNull());
  EXPECT_EQ(server, QxGuid::FakeServer());
  EXPECT_TRUE(capture.Contains("ServerAccessCallback: Generated slot " + name.ToString() +
                               " from a server with no slot support"));
  QxGuid other;
  QxGuid anyServer;
  client.endpoints = {&plain};
  ASSERT_TRUE(slots.AllocSlot(other, anyServer, false));
  EXPECT_NE(other, name);
  EXPECT_TRUE(sent.empty());

  // Freed and kept without a message, even when no server has slot support.
  EXPECT_TRUE(slots.FreeSlot(name, server));
  EXPECT_TRUE(capture.Contains("WARN  "));
  EXPECT_TRUE(capture.Contains("ServerAccessCallback: Freed fake-slot " + name.ToString()));
  client.endpoints = {&alpha};
  const Slot fake{QxGuid::FakeServer(), other};
  EXPECT_TRUE(slots.TransferOneSlotPair({fake, fake}));
  EXPECT_TRUE(capture.Contains("ServerAccessCallback: Kept fake-slot " + other.ToString()));
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(slots.CurrentPairs().size(), 2u);

  // Without a server lacking slot support, an unknown identity gets nothing.
  QxGuid none;
  QxGuid unknown = Id(kServerC);
  EXPECT_FALSE(slots.AllocSlot(none, unknown, false));
  EXPECT_TRUE(sent.empty());
}

TEST_F(SlotRegistryTest, FreeRemovesThePairAndAnUnknownSlotIsStillFreed) {
  Connect();
  Allocate(alpha, kServerA, 1);
  Allocate(alpha, kServerA, 2);
  sent.clear();
  ASSERT_TRUE(slots.FreeSlot(SlotId(1), Id(kServerA)));
  const Slot second{Id(kServerA), SlotId(2)};
  EXPECT_EQ(slots.CurrentPairs(), (std::vector<SlotPair>{{second, second}}));

  LogCapture capture;
  EXPECT_TRUE(slots.FreeSlot(SlotId(1), Id(kServerA)));
  EXPECT_EQ(Logged(capture)[1],
            "WARN OnDemandSlotEvents::FreeSlot slot not found in slot pairs, list size: 1");
  ASSERT_EQ(sent.size(), 2u);
  for (const SentSlotMessage& message : sent) {
    EXPECT_EQ(message.host, "alpha");
    EXPECT_EQ(message.type, 113u);
    EXPECT_EQ(message.kind, 3u);
    EXPECT_EQ(message.payload, Bytes(SlotPayload(SlotId(1))));
  }
  EXPECT_EQ(slots.CurrentPairs().size(), 1u);
}

TEST_F(SlotRegistryTest, FreeTriesTheNextSessionOfTheSameServer) {
  ScriptedEndpoint alphaAgain{"alpha2", kServerA, sent};
  client.endpoints = {&beta, &alpha, &alphaAgain};
  Connect();
  Allocate(alpha, kServerA, 1);
  sent.clear();
  alpha.oneWayResult = 9;
  LogCapture capture;
  EXPECT_TRUE(slots.FreeSlot(SlotId(1), Id(kServerA)));
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].host, "alpha2");
  EXPECT_EQ(capture.Count("error sending message"), 1u);
  EXPECT_TRUE(capture.Contains("WARN  "));
  EXPECT_TRUE(capture.Contains("ServerAccessCallback: alpha(" + Id(kServerA).ToString() +
                               ") : error sending message to free slot " + SlotId(1).ToString()));

  // No session of the server left: nothing is sent and the slot stays.
  Allocate(alpha, kServerA, 2);
  client.endpoints = {&beta};
  sent.clear();
  EXPECT_FALSE(slots.FreeSlot(SlotId(2), Id(kServerA)));
  EXPECT_TRUE(sent.empty());
  EXPECT_TRUE(capture.Contains("ServerAccessCallback -- slot not freed!"));
  EXPECT_EQ(slots.CurrentPairs().size(), 1u);
}

TEST_F(SlotRegistryTest, AMovedSlotIsFreedWhereItLivesNow) {
  Connect();
  Allocate(alpha, kServerA, 1);
  client.endpoints = {&beta};
  beta.allocations.push_back(Grant(9));
  sent.clear();
  LogCapture capture;
  ASSERT_TRUE(slots.MoveSlotsFromSession(Id(kServerA)));
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].type, 112u);
  EXPECT_EQ(sent[0].payload, (std::vector<uint8_t>{8, 0, 0, 0, 1, 0, 0, 0}));
  const Slot orig{Id(kServerA), SlotId(1)};
  const Slot act{Id(kServerB), SlotId(9)};
  EXPECT_EQ(slots.CurrentPairs(), (std::vector<SlotPair>{{orig, act}}));
  EXPECT_TRUE(
      capture.Contains("ServerAccessCallback: Slot migrated act slotName: " + SlotId(9).ToString() +
                       ", act serverRunningID: " + Id(kServerB).ToString() + ")"));

  ASSERT_TRUE(slots.FreeSlot(SlotId(1), Id(kServerA)));
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].host, "beta");
  EXPECT_EQ(sent[1].type, 113u);
  EXPECT_EQ(sent[1].payload, Bytes(SlotPayload(SlotId(9))));
  EXPECT_TRUE(slots.CurrentPairs().empty());
}

TEST_F(SlotRegistryTest, AMoveStopsAtTheFirstSlotThatCannotBePlaced) {
  Connect();
  Allocate(alpha, kServerA, 1);
  Allocate(alpha, kServerA, 2);
  Allocate(beta, kServerB, 5);
  Allocate(alpha, kServerA, 3);
  ScriptedEndpoint gamma{"gamma", kServerC, sent};
  client.endpoints = {&plain, &beta, &gamma};
  beta.allocations = {Grant(11), NoSlot()};
  gamma.allocations = {NoSlot(), NoSlot()};
  sent.clear();
  LogCapture capture;
  EXPECT_FALSE(slots.MoveSlotsFromSession(Id(kServerA)));
  std::vector<SlotPair> pairs = slots.CurrentPairs();
  ASSERT_EQ(pairs.size(), 4u);
  EXPECT_EQ(pairs[0].act, (Slot{Id(kServerB), SlotId(11)}));
  EXPECT_EQ(pairs[1].act, (Slot{Id(kServerA), SlotId(2)}));
  EXPECT_EQ(pairs[2].act, (Slot{Id(kServerB), SlotId(5)}));
  EXPECT_EQ(pairs[3].act, (Slot{Id(kServerA), SlotId(3)}));
  EXPECT_EQ(pairs[1].orig, pairs[1].act);
  EXPECT_EQ(sent.size(), 3u);
  EXPECT_TRUE(capture.Contains("MoveSlotFromSession: servers = 3"));
  EXPECT_EQ(capture.Count("ServerAccessCallback: send the message "), 3u);
  const std::vector<std::string> logged = Logged(capture);
  EXPECT_EQ(logged[logged.size() - 2],
            "WARN ServerAccessCallback: Slot Not migrated, return false ...");
  EXPECT_EQ(logged.back(), "INFO <- OnDemandSlotEvents::MoveSlotsFromSession [result: fail]");

  // The next report of the same server moves the rest.
  beta.allocations = {Grant(12), Grant(13)};
  EXPECT_TRUE(slots.MoveSlotsFromSession(Id(kServerA)));
  pairs = slots.CurrentPairs();
  EXPECT_EQ(pairs[1].act, (Slot{Id(kServerB), SlotId(12)}));
  EXPECT_EQ(pairs[3].act, (Slot{Id(kServerB), SlotId(13)}));
  EXPECT_EQ(pairs[3].orig, (Slot{Id(kServerA), SlotId(3)}));
  EXPECT_TRUE(slots.MoveSlotsFromSession(Id(kServerA)));
  EXPECT_TRUE(capture.Contains("<- OnDemandSlotEvents::MoveSlotsFromSession! no slots to move!"));
}

TEST_F(SlotRegistryTest, TransferKeepsEachPairAgainEveryTime) {
  Connect();
  slots.SetTimeout(300);
  const SlotPair moved{{Id(kServerC), SlotId(1)}, {Id(kServerA), SlotId(2)}};
  const SlotPair lost{{Id(kServerC), SlotId(3)}, {Id(kServerC), SlotId(3)}};
  slots.SetPairsToTransfer({moved, lost});
  LogCapture capture;
  slots.TransferAllSlotPairs();
  slots.TransferAllSlotPairs();
  EXPECT_EQ(slots.CurrentPairs(), (std::vector<SlotPair>{moved, moved}));
  ASSERT_EQ(sent.size(), 2u);
  for (const SentSlotMessage& message : sent) {
    EXPECT_EQ(message.host, "alpha");
    EXPECT_EQ(message.type, 114u);
    EXPECT_EQ(message.kind, 3u);
    EXPECT_EQ(message.timeoutMs, 300);
    EXPECT_EQ(message.payload, Bytes(SlotPayload(SlotId(2))));
  }
  EXPECT_EQ(capture.Count("ServerAccessCallback -- keep slot failed!"), 2u);
  EXPECT_EQ(capture.Count("<- OnDemandSlotEvents::KeepSlot [result: success]"), 2u);
  EXPECT_EQ(capture.Count("<- OnDemandSlotEvents::KeepSlot [result: fail]"), 2u);
  EXPECT_TRUE(capture.Contains(
      "-> OnDemandSlotEvents::TransferOneSlotPair (orig slotName: " + SlotId(1).ToString() +
      ", orig serverRunningID: " + Id(kServerC).ToString() + ", act slotName: " +
      SlotId(2).ToString() + ", act serverRunningID: " + Id(kServerA).ToString() + ")"));
}

TEST_F(SlotRegistryTest, AfterTheHandOverEveryOperationIsRefused) {
  Connect();
  Allocate(alpha, kServerA, 1);
  std::vector<SlotPair> taken;
  ASSERT_TRUE(slots.TakeCurrentPairs(taken));
  EXPECT_EQ(taken, slots.CurrentPairs());
  ASSERT_EQ(taken.size(), 1u);
  std::vector<SlotPair> again;
  EXPECT_FALSE(slots.TakeCurrentPairs(again));
  EXPECT_TRUE(again.empty());

  const int visits = client.visits;
  LogCapture capture;
  alpha.allocations.push_back(Grant(2));
  QxGuid name;
  QxGuid server;
  EXPECT_FALSE(slots.AllocSlot(name, server, false));
  EXPECT_TRUE(name.IsNull());
  EXPECT_FALSE(slots.FreeSlot(SlotId(1), Id(kServerA)));
  EXPECT_TRUE(capture.Contains("OnDemandSlotEvents::FreeSlot does not permit slot operations"));
  EXPECT_FALSE(slots.MoveSlotsFromSession(Id(kServerA)));
  EXPECT_FALSE(slots.TransferOneSlotPair(taken[0]));
  // A server that holds none of the slots has nothing to move.
  EXPECT_TRUE(slots.MoveSlotsFromSession(Id(kServerB)));
  EXPECT_EQ(client.visits, visits);
}

TEST_F(SlotRegistryTest, WithoutTheConnectionManagerOperationsFail) {
  Connect();
  Allocate(alpha, kServerA, 1);
  slots.SetCommClient(nullptr);
  const int visits = client.visits;
  EXPECT_FALSE(slots.FreeSlot(SlotId(1), Id(kServerA)));
  EXPECT_FALSE(slots.MoveSlotsFromSession(Id(kServerA)));
  EXPECT_EQ(client.visits, visits);
  EXPECT_EQ(slots.CurrentPairs().size(), 1u);
}

TEST_F(SlotRegistryTest, TheCallbackNeedsEndpointsACountAndTheRegistry) {
  IServerEndpoint* endpoints[] = {&alpha};
  alpha.allocations.push_back(Grant(1));
  ServerAccessCallback(endpoints, 1, nullptr);
  ServerAccessCallback(nullptr, 1, &slots);
  ServerAccessCallback(endpoints, 0, &slots);
  ServerAccessCallback(endpoints, -1, &slots);
  EXPECT_TRUE(sent.empty());
  // An empty pool is a visit without a server: the operation fails.
  client.endpoints = {};
  Connect();
  QxGuid name;
  QxGuid server;
  EXPECT_FALSE(slots.AllocSlot(name, server, false));
  EXPECT_EQ(client.visits, 1);
}

TEST_F(SlotRegistryTest, TheServerGoneReportMovesTheServersSlots) {
  Connect();
  Allocate(alpha, kServerA, 1);
  client.endpoints = {&beta};
  beta.allocations.push_back(Grant(2));
  EXPECT_FALSE(OnDemandSlotEvents::OnServerGone(nullptr, &kServerA));
  EXPECT_TRUE(OnDemandSlotEvents::OnServerGone(&slots, &kServerA));
  EXPECT_EQ(slots.CurrentPairs()[0].act, (Slot{Id(kServerB), SlotId(2)}));
}

}  // namespace
}  // namespace sondrel
