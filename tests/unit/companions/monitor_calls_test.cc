#include "companions/monitor_calls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "companion_test_paths.h"
#include "companions/exported_object.h"
#include "companions/serv_plugin.h"
#include "core/i_sondrel_events.h"
#include "fake_companions/companion_calls.h"

namespace sondrel {
namespace {

using Calls = std::vector<std::string>;
using test::CompanionCalls;

// The can-scan pair and the client's face are opaque here; the fakes only see whether one came.
Kalvix::IObject* const kSomeObject = reinterpret_cast<Kalvix::IObject*>(0x1000);

class ScriptedClient final : public IInternalMonitorClient {
 public:
  virtual ~ScriptedClient() = default;
  int32_t answer = 0;
  std::vector<std::pair<uint32_t, Kalvix::IObject*>> notified;
  void ReservedSlot0() override { ADD_FAILURE() << "slot 0 called"; }
  int32_t Notify(uint32_t event, Kalvix::IObject* object) override {
    notified.emplace_back(event, object);
    return answer;
  }
};

TEST(MonitorCallsTest, NotificationsGoThroughTheRegistrationCopyWithTheirAnswer) {
  ScriptedClient client;
  client.answer = 17;
  EXPECT_EQ(NotifyInternalMonitor(&client, kEventRegister, kSomeObject), 17);
  EXPECT_EQ(NotifyInternalMonitor(&client, kEventBestSessionChanged, nullptr), 17);
  EXPECT_EQ(client.notified, (std::vector<std::pair<uint32_t, Kalvix::IObject*>>{
                                 {0x11001, kSomeObject}, {0x11004, nullptr}}));
}

TEST(MonitorCallsTest, WithoutARegistrationCopyNothingIsSentAndTheAnswerIs4306) {
  for (const uint32_t event :
       {kEventRegister, kEventUnregister, kEventCanScanChanged, kEventBestSessionChanged}) {
    EXPECT_EQ(NotifyInternalMonitor(nullptr, event, kSomeObject), 4306);
  }
}

// Both monitors as companions: the internal monitor client and the monitor receiver of the fake.
class MonitorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartPlugin(internalModule_, internal_, test::FakeCompanionPath(),
                            L"InternalOstrel", kInternalMonitorServiceId));
    ASSERT_EQ(
        receiverModule_.Load(test::FakeCompanionPath(), L"monitorReceiver", kMonitorReceiverId), 0);
    receiver_ = receiverModule_.interface();
    test::ClearCompanionCalls();
  }
  void TearDown() override { StopPlugin(internalModule_, internal_); }

  ServPluginModule internalModule_;
  IInternalMonitorClient* internal_ = nullptr;
  ExportedObject<IMonitorReceiver> receiverModule_;
  IMonitorReceiver* receiver_ = nullptr;
};

TEST_F(MonitorsTest, ACanScanChangeReachesTheInternalMonitorFirstThenTheReceiver) {
  AnnounceCanScan(internal_, kSomeObject, receiver_, true);
  AnnounceCanScan(internal_, kSomeObject, receiver_, false);
  EXPECT_EQ(CompanionCalls(), (Calls{"notify 0x11003 object", "can scan remote true",
                                     "notify 0x11003 object", "can scan remote false"}));
}

TEST_F(MonitorsTest, EachMonitorIsToldOnlyWhenPresent) {
  AnnounceCanScan(nullptr, kSomeObject, receiver_, true);
  AnnounceCanScan(internal_, kSomeObject, nullptr, false);
  AnnounceCanScan(nullptr, kSomeObject, nullptr, false);
  EXPECT_EQ(CompanionCalls(), (Calls{"can scan remote true", "notify 0x11003 object"}));
}

class NoReload final : public ISondrelEvents {
 public:
  void ReloadScanServer() override {}
};

TEST_F(MonitorsTest, TheReceiverIsHandedTheClient) {
  NoReload client;
  RegisterWithMonitorReceiver(receiver_, &client);
  RegisterWithMonitorReceiver(nullptr, &client);
  EXPECT_EQ(CompanionCalls(), Calls{"register client"});
}

}  // namespace
}  // namespace sondrel
