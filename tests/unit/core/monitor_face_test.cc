// The client's face as the internal monitor drives it, over a scripted connection manager: new
// settings and their propagation, slots allocated and freed, slot pairs handed over and taken
// over, and the current connections; with the refusals a monitor gets for what cannot be done.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "comm/comm_client_options.h"
#include "config/settings_property_ids.h"
#include "core/c_sondrel.h"
#include "objectmodel/current_connections.h"
#include "objectmodel/i_sondrel.h"
#include "objectmodel/proxy.h"
#include "objectmodel/result_codes.h"
#include "objectmodel/settings_mapping.h"
#include "objectmodel/slot_mappings.h"
#include "objectmodel/visitor_proxy.h"
#include "support/log_capture.h"
#include "unit/core/scripted_comm_client.h"
#include "unit/objectmodel/test_objects.h"
#include "unit/slots/scripted_endpoints.h"

namespace sondrel::test {
namespace {

using Kalvix::IObject;
using Kalvix::IObjectVisitor;
using Kalvix::Proxy;
using Kalvix::test::ScriptedSource;

constexpr ServerIdentity kServer = {0xC1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xC2};
constexpr ServerIdentity kGranted = {0x5A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};

class MonitorFaceTest : public testing::Test {
 protected:
  MonitorFaceTest() {
    client_.SetInitEnvironment({.makeCommClient =
                                    [this] {
                                      auto made = std::make_unique<ScriptedCommClient>();
                                      comm_ = made.get();
                                      comm_->endpoints = {&endpoint_};
                                      return made;
                                    },
                                .settingsDirectory = L"/nonexistent",
                                .settleTime = std::chrono::milliseconds(0)});
  }

  ~MonitorFaceTest() override {
    if (context_ != nullptr) {
      client_.Uninit(context_, SONDREL_UNINIT_FINAL);
    }
  }

  void InitClient() { ASSERT_EQ(client_.Init(&context_, nullptr), 0); }

  // Scanning on, with one server.
  void ConfigureServers() {
    Settings settings;
    settings.enableScan = true;
    settings.servers.resize(1);
    settings.servers[0].address = L"scan1.example";
    client_.settings().ApplySettings(settings);
  }

  int32_t Call(uint32_t id, IObject* argument) { return client_.Face()->Set(id, argument); }
  int32_t Read(uint32_t id, IObject* argument) { return client_.Face()->Get(id, argument); }

  int32_t Allocate(SlotEnvelope& envelope) {
    Proxy<SlotEnvelope> argument(&envelope, Kalvix::SlotEnvelopeMapping());
    return Call(Kalvix::kFunctionAllocateSlot, &argument);
  }

  int32_t TakePairs(std::vector<SlotPair>& pairs) {
    Kalvix::VisitorProxy<std::vector<SlotPair>> visitor(&pairs, Kalvix::SlotPairMapping());
    return client_.Face()->Get(Kalvix::kFunctionTakeSlotPairs,
                               static_cast<IObjectVisitor*>(&visitor));
  }

  std::vector<SentSlotMessage> sent_;
  ScriptedEndpoint endpoint_{"scan1.example", kServer, sent_};
  CSondrel client_;
  ScriptedCommClient* comm_ = nullptr;
  ScanContext* context_ = nullptr;
};

TEST_F(MonitorFaceTest, SettingsReportedInPartLeaveEverythingElseAtItsBuiltInDefault) {
  ConfigureServers();
  ScriptedSource onlyEnableScan([](IObject* target) { target->Set(kPropEnableScan, 1); }, -34);
  EXPECT_EQ(Call(Kalvix::kFunctionApplySettings, &onlyEnableScan), Kalvix::kResultRefused);
  Settings expected;
  expected.enableScan = true;
  EXPECT_EQ(client_.settings().GetSettings(), expected);
  EXPECT_EQ(client_.settings().GetSettings().timeout, 30000);

  // With a connection manager, every setting reaches it and its servers are reloaded.
  InitClient();
  const size_t codesAtInit = comm_->codes.size();
  Settings next;
  next.enableScan = true;
  next.detectLatency = true;
  next.servers.resize(1);
  next.servers[0].address = L"scan2.example";
  Proxy<Settings> object(&next, Kalvix::SettingsMapping());
  LogCapture capture;
  EXPECT_EQ(Call(Kalvix::kFunctionApplySettings, &object), 0);
  EXPECT_EQ(client_.settings().GetSettings(), next);
  EXPECT_EQ(std::vector<int32_t>(comm_->codes.begin() + codesAtInit, comm_->codes.end()),
            (std::vector<int32_t>{21, 22, 32, 36, 14, 15, 19, 26, 27, 31, 28, 29,
                                  30, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 0}));
  EXPECT_EQ(comm_->reloads, 1);
  ASSERT_EQ(comm_->servers.size(), 1u);
  EXPECT_EQ(comm_->servers[0].address, "scan2.example");
  EXPECT_TRUE(capture.Contains("Reset settings succeeded. New settings:"));
}

TEST_F(MonitorFaceTest, ASettingsObjectWhoseCopyFailsChangesNothing) {
  ConfigureServers();
  InitClient();
  const Settings before = client_.settings().GetSettings();
  const size_t codesAtInit = comm_->codes.size();
  ScriptedSource nothing({}, Kalvix::kResultNothingCopied);
  ScriptedSource brokenList([](IObject* target) { target->Set(kPropTimeout, 5); },
                            Kalvix::kResultFillFailed);
  LogCapture capture;
  for (IObject* object : std::vector<IObject*>{&nothing, &brokenList}) {
    EXPECT_EQ(Call(Kalvix::kFunctionApplySettings, object), Kalvix::kResultNothingCopied);
  }
  EXPECT_EQ(Call(Kalvix::kFunctionApplySettings, nullptr), Kalvix::kResultNotFound);
  EXPECT_EQ(Read(Kalvix::kFunctionApplySettings, &nothing), Kalvix::kResultNotSupported);
  EXPECT_EQ(client_.settings().GetSettings(), before);
  EXPECT_EQ(comm_->codes.size(), codesAtInit);
  EXPECT_EQ(comm_->reloads, 0);
  EXPECT_FALSE(capture.Contains("Reset settings"));
}

TEST_F(MonitorFaceTest, AllocationIsRefusedAtOnceWithoutServersOrWithScanningOff) {
  InitClient();
  struct Case {
    bool servers;
    bool enableScan;
  };
  for (const Case c : {Case{false, true}, Case{true, false}}) {
    SCOPED_TRACE(testing::Message() << c.servers << c.enableScan);
    Settings settings;
    settings.enableScan = c.enableScan;
    settings.servers.resize(c.servers ? 1 : 0);
    client_.settings().ApplySettings(settings);
    SlotEnvelope envelope;
    LogCapture capture;
    EXPECT_EQ(Allocate(envelope), Kalvix::kResultRefused);
    EXPECT_EQ(capture.Count("OnDemandSlotEvents"), 0u);
    EXPECT_EQ(comm_->enumerations, 0);
    EXPECT_TRUE(sent_.empty());
  }
}

TEST_F(MonitorFaceTest, SlotsAreAllocatedAndFreedThroughTheEnvelope) {
  ConfigureServers();
  InitClient();
  endpoint_.allocations.push_back({0, GrantPayload(kGranted)});
  SlotEnvelope envelope;
  envelope.force = true;
  ASSERT_EQ(Allocate(envelope), 0);
  EXPECT_EQ(envelope.slot, (Slot{QxGuid::FromBytes(kServer), QxGuid::FromBytes(kGranted)}));
  EXPECT_TRUE(envelope.result);
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].payload[4], 1);  // the force bit

  // A server without a slot to give: the monitor's envelope stays as it was.
  SlotEnvelope refused;
  refused.slot.serverRunningID = QxGuid::FromBytes(kServer);
  const Slot asked = refused.slot;
  EXPECT_EQ(Allocate(refused), Kalvix::kResultRefused);
  EXPECT_EQ(refused.slot, asked);
  EXPECT_FALSE(refused.result);

  envelope.result = false;
  Proxy<SlotEnvelope> free(&envelope, Kalvix::SlotEnvelopeMapping());
  EXPECT_EQ(Call(Kalvix::kFunctionFreeSlot, &free), 0);
  EXPECT_TRUE(envelope.result);
  EXPECT_EQ(sent_.back().type, 113u);
  EXPECT_TRUE(client_.slots().CurrentPairs().empty());
  EXPECT_EQ(Read(Kalvix::kFunctionAllocateSlot, &free), Kalvix::kResultNotSupported);
}

TEST_F(MonitorFaceTest, SlotPairsAreHandedOverOnceAndNeverToNowhere) {
  ConfigureServers();
  InitClient();
  endpoint_.allocations.push_back({0, GrantPayload(kGranted)});
  SlotEnvelope envelope;
  ASSERT_EQ(Allocate(envelope), 0);

  // Without a visitor the pairs stay where they are.
  EXPECT_EQ(
      client_.Face()->Get(Kalvix::kFunctionTakeSlotPairs, static_cast<IObjectVisitor*>(nullptr)),
      Kalvix::kResultNotFound);
  EXPECT_EQ(client_.slots().CurrentPairs().size(), 1u);

  std::vector<SlotPair> pairs;
  ASSERT_EQ(TakePairs(pairs), 0);
  EXPECT_EQ(pairs, (std::vector<SlotPair>{{envelope.slot, envelope.slot}}));
  std::vector<SlotPair> again = {SlotPair{}};
  EXPECT_EQ(TakePairs(again), Kalvix::kResultRefused);
  EXPECT_EQ(again, std::vector<SlotPair>{SlotPair{}});  // the visitor was not touched

  // From then on the registry performs no slot operation.
  SlotEnvelope later;
  EXPECT_EQ(Allocate(later), Kalvix::kResultRefused);
  ScriptedSource any;
  EXPECT_EQ(Call(Kalvix::kFunctionTakeSlotPairs, &any), Kalvix::kResultNotSupported);
}

TEST_F(MonitorFaceTest, TakingOverReplacesThePairsTheNextInitKeeps) {
  const Slot previous{QxGuid::FromBytes(kServer), QxGuid::FromBytes(kGranted)};
  client_.slots().SetPairsToTransfer({{previous, previous}});

  // A source that refuses leaves the pairs to transfer as they were; its result is returned.
  ScriptedSource refuses({}, 0, Kalvix::kResultIdOutOfRange);
  EXPECT_EQ(Call(Kalvix::kFunctionTakeOverSlotPairs, &refuses), Kalvix::kResultIdOutOfRange);
  EXPECT_EQ(Call(Kalvix::kFunctionTakeOverSlotPairs, nullptr), Kalvix::kResultNotFound);

  CSondrel empty;
  {
    LogCapture capture;
    CSondrel keeper;
    keeper.SetInitEnvironment({.makeCommClient =
                                   [this] {
                                     auto made = std::make_unique<ScriptedCommClient>();
                                     made->endpoints = {&endpoint_};
                                     return made;
                                   },
                               .settingsDirectory = L"/nonexistent",
                               .settleTime = std::chrono::milliseconds(0)});
    keeper.slots().SetPairsToTransfer({{previous, previous}});
    EXPECT_EQ(
        keeper.Face()->Set(Kalvix::kFunctionTakeOverSlotPairs, static_cast<IObject*>(&refuses)),
        Kalvix::kResultIdOutOfRange);
    ScanContext* context = nullptr;
    ASSERT_EQ(keeper.Init(&context, nullptr), 0);
    EXPECT_EQ(capture.Count("-> OnDemandSlotEvents::TransferOneSlotPair"), 1u);
    keeper.Uninit(context, SONDREL_UNINIT_FINAL);
  }

  // A source with no pairs: the list becomes empty and the next Init keeps nothing.
  EXPECT_EQ(Call(Kalvix::kFunctionTakeOverSlotPairs, empty.Face()), 0);
  std::vector<SlotPair> gone;
  EXPECT_FALSE(empty.slots().TakeCurrentPairs(gone));  // the source handed its pairs over
  LogCapture capture;
  InitClient();
  EXPECT_EQ(capture.Count("-> OnDemandSlotEvents::TransferOneSlotPair"), 0u);
  EXPECT_TRUE(capture.Contains("<- OnDemandSlotEvents::TransferAllSlotPairs"));
}

TEST_F(MonitorFaceTest, CurrentConnectionsAreTheConnectionManagersServers) {
  Kalvix::CurrentConnections read;
  Proxy<Kalvix::CurrentConnections> destination(&read, Kalvix::CurrentConnectionsMapping());
  EXPECT_EQ(Read(Kalvix::kFunctionCurrentConnections, &destination), Kalvix::kResultRefused);

  InitClient();
  comm_->listed = {{2, 1, "7443", "scan1.example", "node-1", 0, 1, ""},
                   {5, 2, "no port", "sc\xc3\xa5n2.example", "", 1, 2, ""}};
  ASSERT_EQ(Read(Kalvix::kFunctionCurrentConnections, &destination), 0);
  ASSERT_EQ(read.servers.size(), 2u);
  EXPECT_EQ(read.servers[0].address.View(), L"scan1.example");
  EXPECT_EQ(read.servers[0].port, 7443);
  EXPECT_TRUE(read.servers[0].useSSL);
  EXPECT_EQ(read.servers[0].priority, 2);
  EXPECT_TRUE(read.servers[0].enforced);
  EXPECT_EQ(read.servers[0].nodeid.View(), L"node-1");
  // Only the value 1 means yes; a port that is no number reads as 0.
  EXPECT_EQ(read.servers[1].address.View(), L"sc\u00e5n2.example");
  EXPECT_EQ(read.servers[1].port, 0);
  EXPECT_FALSE(read.servers[1].useSSL);
  EXPECT_FALSE(read.servers[1].enforced);

  ScriptedSource takesNothing;
  EXPECT_EQ(Read(Kalvix::kFunctionCurrentConnections, &takesNothing), Kalvix::kResultRefused);
  comm_->listThrows = true;
  EXPECT_EQ(Read(Kalvix::kFunctionCurrentConnections, &destination), Kalvix::kResultRefused);
}

}  // namespace
}  // namespace sondrel::test
