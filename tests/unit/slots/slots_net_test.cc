// Slots through the real comm client and two fake scan servers: a slot allocated from one server,
// a free that reaches it, a kept slot, and the slots moved to the other server once the first one
// is gone and the pool manager reports it.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "comm/comm_client_options.h"
#include "comm/i_server_endpoint.h"
#include "comm/sock_comm_client.h"
#include "logging/logger_registry.h"
#include "slots/on_demand_slot_events.h"
#include "support/fake_server/slot_service.h"
#include "unit/comm/client_test_support.h"
#include "unit/comm/session_test_support.h"

namespace sondrel::test {
namespace {

constexpr SlotBytes kServerA = {0xA1, 0xA2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA3};
constexpr SlotBytes kServerB = {0xB1, 0xB2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xB3};

SlotBytes SlotNumber(uint8_t n) {
  return {0x5A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, n};
}

// Whether every session of the pool knows its server's running identity.
bool IdentitiesKnown(SockCommClient& client) {
  struct Count {
    int32_t endpoints = 0;
    int32_t known = 0;
  } count;
  client.EnumerateEndpoints(
      [](IServerEndpoint* const* endpoints, int32_t n, void* context) {
        auto* result = static_cast<Count*>(context);
        result->endpoints = n;
        for (int32_t i = 0; i < n; ++i) {
          ServerIdentity identity;
          result->known += endpoints[i]->GetServerId(&identity) ? 1 : 0;
        }
      },
      &count);
  return count.endpoints > 0 && count.known == count.endpoints;
}

TEST(SlotsNetTest, SlotsAreGrantedFreedKeptAndMovedWhenTheirServerGoesAway) {
  SlotService slotsOfA({SlotNumber(1), SlotNumber(2)});
  SlotService slotsOfB({SlotNumber(9)});
  auto serverA = ScriptedServer(slotsOfA.Script(kServerA));
  auto serverB = ScriptedServer(slotsOfB.Script(kServerB), "127.0.0.2");

  OnDemandSlotEvents slots(GetLogger("qx.sondrel.slots"));
  SockCommClient client;
  client.SetOption(kOptionServerGoneCallback,
                   reinterpret_cast<const void*>(&OnDemandSlotEvents::OnServerGone));
  client.SetOption(kOptionServerGoneContext, &slots);
  Configure(client, {.servers = {EntryFor(*serverA, 1), EntryFor(*serverB, 2)},
                     .minServerConnections = 2,
                     .reconnectInterval = 0});
  ASSERT_EQ(client.Start(), 0);
  ASSERT_TRUE(WaitForPool(client, {"127.0.0.1", "127.0.0.2"}));
  ASSERT_TRUE(WaitFor([&] { return IdentitiesKnown(client); }));
  slots.SetCommClient(&client);
  slots.SetTimeout(2000);

  const QxGuid a = QxGuid::FromBytes(kServerA);
  const QxGuid b = QxGuid::FromBytes(kServerB);
  QxGuid first;
  QxGuid firstServer = a;
  ASSERT_TRUE(slots.AllocSlot(first, firstServer, false));
  EXPECT_EQ(first, QxGuid::FromBytes(SlotNumber(1)));
  EXPECT_EQ(firstServer, a);
  QxGuid second;
  QxGuid secondServer = a;
  ASSERT_TRUE(slots.AllocSlot(second, secondServer, true));
  EXPECT_EQ(slotsOfA.allocations(), (std::vector<uint32_t>{0, 1}));

  ASSERT_TRUE(slots.FreeSlot(first, a));
  ASSERT_TRUE(slotsOfA.WaitForFreed(1));
  EXPECT_EQ(slotsOfA.freed(), std::vector<SlotBytes>{SlotNumber(1)});

  const Slot kept{b, QxGuid::FromBytes(SlotNumber(7))};
  slots.SetPairsToTransfer({{kept, kept}});
  slots.TransferAllSlotPairs();
  ASSERT_TRUE(WaitFor([&] { return !slotsOfB.kept().empty(); }));
  EXPECT_EQ(slotsOfB.kept(), std::vector<SlotBytes>{SlotNumber(7)});

  // The granting server goes away: the pool manager reports it and its slot moves to the other.
  serverA.reset();
  ASSERT_TRUE(WaitFor([&] { return slots.CurrentPairs().front().act.serverRunningID == b; }));
  const SlotPair moved = slots.CurrentPairs().front();
  EXPECT_EQ(moved.orig, (Slot{a, second}));
  EXPECT_EQ(moved.act, (Slot{b, QxGuid::FromBytes(SlotNumber(9))}));
  EXPECT_EQ(slotsOfB.allocations(), std::vector<uint32_t>{1});

  ASSERT_TRUE(slots.FreeSlot(second, a));
  ASSERT_TRUE(slotsOfB.WaitForFreed(1));
  EXPECT_EQ(slotsOfB.freed(), std::vector<SlotBytes>{SlotNumber(9)});
  EXPECT_EQ(slots.CurrentPairs(), (std::vector<SlotPair>{{kept, kept}}));

  slots.SetCommClient(nullptr);
  client.Stop();
}

}  // namespace
}  // namespace sondrel::test
