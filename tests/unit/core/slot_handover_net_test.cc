// Slot pairs moving between two client objects of one process, as a monitor moves them from the
// instance it replaces to the new one: the old client's slots are granted by a fake server's slot
// service, the new client takes them over through its face before its Init, and that Init keeps
// them on the server.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "core/c_sondrel.h"
#include "objectmodel/i_sondrel.h"
#include "objectmodel/proxy.h"
#include "objectmodel/settings_mapping.h"
#include "objectmodel/slot_mappings.h"
#include "sondrel/sondrel.h"
#include "support/fake_server/slot_service.h"
#include "unit/comm/client_test_support.h"
#include "unit/comm/session_test_support.h"

namespace sondrel::test {
namespace {

using Kalvix::IObject;
using Kalvix::Proxy;

constexpr SlotBytes kServerId = {0xA1, 0xA2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA3};

SlotBytes SlotNumber(uint8_t n) {
  return {0x5A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, n};
}

// A client made by CoreNew, as a host makes it.
CSondrel& NewClient(SondrelObject*& handle) {
  handle = CoreNew();
  auto* client = static_cast<CSondrel*>(reinterpret_cast<IExports*>(handle));
  client->SetInitEnvironment(
      {.settingsDirectory = L"/nonexistent", .settleTime = std::chrono::milliseconds(1000)});
  return *client;
}

void ApplySettings(CSondrel& client, const FakeServer& server) {
  Settings settings;
  settings.enableScan = true;
  settings.minServerConnections = 1;
  settings.reconnectInterval = 1;
  settings.timeout = 2000;
  settings.connectAsync = false;
  settings.servers.resize(1);
  settings.servers[0].address = L"127.0.0.1";
  settings.servers[0].port = server.port();
  Proxy<Settings> object(&settings, Kalvix::SettingsMapping());
  // Without a connection manager yet: stored, and refused for the propagation.
  EXPECT_EQ(client.Face()->Set(Kalvix::kFunctionApplySettings, static_cast<IObject*>(&object)),
            Kalvix::kResultRefused);
}

TEST(SlotHandOverNetTest, TheNextClientKeepsTheSlotsOfTheOneItReplaces) {
  SlotService service({SlotNumber(1), SlotNumber(2)});
  auto server = ScriptedServer(service.Script(kServerId));

  SondrelObject* oldHandle = nullptr;
  CSondrel& old = NewClient(oldHandle);
  ApplySettings(old, *server);
  SondrelScanContext* oldContext = nullptr;
  ASSERT_EQ(CoreInit(oldHandle, &oldContext, nullptr), 0);
  std::vector<Slot> granted;
  for (int i = 0; i < 2; ++i) {
    SlotEnvelope envelope;
    Proxy<SlotEnvelope> argument(&envelope, Kalvix::SlotEnvelopeMapping());
    ASSERT_EQ(old.Face()->Set(Kalvix::kFunctionAllocateSlot, static_cast<IObject*>(&argument)), 0);
    granted.push_back(envelope.slot);
  }
  EXPECT_EQ(granted[1].slotName, QxGuid::FromBytes(SlotNumber(2)));

  SondrelObject* nextHandle = nullptr;
  CSondrel& next = NewClient(nextHandle);
  ApplySettings(next, *server);
  ASSERT_EQ(next.Face()->Set(Kalvix::kFunctionTakeOverSlotPairs, old.Face()), 0);
  SondrelScanContext* nextContext = nullptr;
  ASSERT_EQ(CoreInit(nextHandle, &nextContext, nullptr), 0);
  ASSERT_TRUE(WaitFor([&] { return service.kept().size() == 2; }));
  EXPECT_EQ(service.kept(), (std::vector<SlotBytes>{SlotNumber(1), SlotNumber(2)}));
  EXPECT_EQ(next.slots().CurrentPairs(),
            (std::vector<SlotPair>{{granted[0], granted[0]}, {granted[1], granted[1]}}));

  // The old client gave its slots away: it allocates no more.
  SlotEnvelope refused;
  Proxy<SlotEnvelope> argument(&refused, Kalvix::SlotEnvelopeMapping());
  EXPECT_EQ(old.Face()->Set(Kalvix::kFunctionAllocateSlot, static_cast<IObject*>(&argument)),
            Kalvix::kResultRefused);

  CoreUninit(oldHandle, oldContext, SONDREL_UNINIT_FINAL);
  CoreFree(oldHandle);
  CoreUninit(nextHandle, nextContext, SONDREL_UNINIT_FINAL);
  CoreFree(nextHandle);
  EXPECT_TRUE(service.freed().empty());
  EXPECT_EQ(service.allocations().size(), 2u);
}

}  // namespace
}  // namespace sondrel::test
