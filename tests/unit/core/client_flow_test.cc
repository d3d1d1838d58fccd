// The client object over a scripted connection manager: what the first Init sets up and in which
// order, start failures, the final Uninit, the servers' availability, and whole scan and
// disinfection requests with the server's side of the conversation scripted.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/c_sondrel.h"
#include "protocol/message_codes.h"
#include "slots/qx_guid.h"
#include "slots/slot_records.h"
#include "support/fake_host/fake_host.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "unit/core/scripted_comm_client.h"

namespace sondrel::test {
namespace {

class ClientFlowTest : public testing::Test {
 protected:
  ClientFlowTest() {
    client_.SetInitEnvironment({.makeCommClient = [this]() -> std::unique_ptr<ISockCommClient> {
                                  ++made_;
                                  if (failToMake_) {
                                    return nullptr;
                                  }
                                  destroyed_ = false;
                                  auto comm = std::make_unique<ScriptedCommClient>(&destroyed_);
                                  comm->startResult = startResult_;
                                  comm_ = comm.get();
                                  return comm;
                                },
                                .settingsDirectory = settingsDirectory_.path().wstring(),
                                .settleTime = std::chrono::milliseconds(0)});
  }

  // Settings as the tests want them: scanning on, and what a test changes.
  void Configure(const std::function<void(Settings&)>& change = {}) {
    Settings settings;
    settings.enableScan = true;
    if (change) {
      change(settings);
    }
    client_.settings().ApplySettings(settings);
  }

  // The availability the connection manager reports; the last state announced is shared by every
  // client of the process, so the report goes through the other state first.
  void MakeServersAvailable(int32_t connectionStatus = 0) {
    comm_->ReportAvailability(false, 0);
    comm_->ReportAvailability(true, connectionStatus);
  }

  ScanContext* InitClient() {
    ScanContext* context = nullptr;
    EXPECT_EQ(client_.Init(&context, engineDirectory_.path().string().c_str()), 0);
    return context;
  }

  // The scan request the client sent last.
  const SentReply& ScanRequestSent() const {
    EXPECT_FALSE(comm_->replies.empty());
    return comm_->replies.back();
  }

  TempDir settingsDirectory_;
  TempDir engineDirectory_;
  CSondrel client_;
  ScriptedCommClient* comm_ = nullptr;
  bool destroyed_ = false;
  int made_ = 0;
  bool failToMake_ = false;
  int32_t startResult_ = 0;
};

TEST_F(ClientFlowTest, TheFirstInitPushesCallbacksHelloAndSettingsThenStartsOnce) {
  std::ofstream(engineDirectory_.path() / "update.txt") << "Engine\nVersion: 7.1\n";
  LogCapture capture;
  ScanContext* first = InitClient();
  ScanContext* second = InitClient();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(made_, 1);
  EXPECT_EQ(comm_->starts, 1);
  EXPECT_EQ(comm_->codes, (std::vector<int32_t>{38, 39, 9,  10, 11, 12, 37, 0,  17, 16, 0,  21,
                                                22, 32, 36, 14, 15, 19, 26, 27, 31, 28, 29, 30,
                                                40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 0}));
  ASSERT_EQ(comm_->helloRecord.size(), 292u);
  EXPECT_EQ(comm_->helloRecord[0], 3);
  EXPECT_EQ(comm_->helloRecord[2], 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&comm_->helloRecord[5])), "7.1");
  EXPECT_TRUE(
      capture.Contains("Engine version from " + engineDirectory_.path().string() + " is 7.1"));
  EXPECT_TRUE(capture.Contains("Init Comm ret: 0"));
  EXPECT_EQ(first->channel, 0);
  EXPECT_EQ(second->channel, 1);
  EXPECT_TRUE(client_.initialised());

  client_.Uninit(first, 0);
  EXPECT_EQ(comm_->released, std::vector<int32_t>{0});
  EXPECT_EQ(comm_->stops, 0);
  client_.Uninit(second, SONDREL_UNINIT_FINAL);
  EXPECT_TRUE(destroyed_);
  EXPECT_FALSE(client_.initialised());

  // A new Init brings the client up again, with a new connection manager.
  ScanContext* again = InitClient();
  EXPECT_EQ(made_, 2);
  client_.Uninit(again, SONDREL_UNINIT_FINAL);
}

TEST_F(ClientFlowTest, StartResults) {
  struct Case {
    int32_t start;
    bool failToMake;
    int32_t init;
  };
  const Case cases[] = {{2250, false, 0}, {5, false, 5}, {0, true, 1627}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.init);
    startResult_ = c.start;
    failToMake_ = c.failToMake;
    made_ = 0;
    LogCapture capture;
    ScanContext* context = reinterpret_cast<ScanContext*>(0x1);
    EXPECT_EQ(client_.Init(&context, nullptr), c.init);
    EXPECT_EQ(client_.initialised(), c.init == 0);
    EXPECT_TRUE(capture.Contains("Init Comm ret: " + std::to_string(c.init)));
    if (c.init == 0) {
      client_.Uninit(context, SONDREL_UNINIT_FINAL);
      continue;
    }
    EXPECT_EQ(context, reinterpret_cast<ScanContext*>(0x1));
    EXPECT_TRUE(capture.Contains("Init comm failed " + std::to_string(c.init)));
    EXPECT_EQ(capture.Contains("Cannot load comm client"), c.failToMake);
    if (!c.failToMake) {
      EXPECT_TRUE(destroyed_);
    }
    // The next Init starts over.
    EXPECT_EQ(client_.Init(&context, nullptr), c.init);
    EXPECT_EQ(made_, 2);
  }
}

TEST_F(ClientFlowTest, AvailabilityGatesRequestsAndLocalScanningKeepsScanningPossible) {
  for (const bool scanLocalIfError : {false, true}) {
    SCOPED_TRACE(scanLocalIfError);
    Configure([&](Settings& s) { s.scanLocalIfError = scanLocalIfError; });
    ScanContext* context = InitClient();
    LogCapture capture;
    MakeServersAvailable(2);
    EXPECT_TRUE(client_.canScan());
    EXPECT_TRUE(client_.canScanRemote());
    EXPECT_EQ(client_.connectionStatus(), 2);
    EXPECT_TRUE(capture.Contains("ServerStatusHandler. Shield status: 1  Connection status: 2"));
    comm_->ReportAvailability(false, 0);
    EXPECT_EQ(client_.canScan(), scanLocalIfError);
    EXPECT_FALSE(client_.canScanRemote());
    client_.Uninit(context, SONDREL_UNINIT_FINAL);
  }
}

// A host over a FakeHost file, with the threat-name buffer the request offers.
struct HostRequest {
  explicit HostRequest(uint64_t size) : host(PatternFile(0)) {
    host.SetSize(size);
    request.path = "/data/setup.exe";
    request.displayName = "setup.exe";
    request.verdict = &verdict;
    request.threatName = threatName;
    request.threatNameCapacity = sizeof(threatName);
    request.cacheAllowed = 1;
    request.flags = &flags;
  }

  FakeHost host;
  int32_t verdict = -1;
  char threatName[8] = {};
  int32_t flags = 0;
  ScanRequest request{};
};

std::vector<uint8_t> Report(uint32_t verdict, const std::string& threat) {
  std::vector<uint8_t> bytes;
  PutU32(bytes, 0);
  PutU32(bytes, 0);
  PutU32(bytes, verdict);
  PutU32(bytes, 0);
  PutU32(bytes, 0);
  for (size_t i = 0; i < 4; ++i) {
    PutU64(bytes, 0);
    PutU32(bytes, i == 3 ? static_cast<uint32_t>(threat.size() + 1) : 0);
  }
  PutU32(bytes, 0);
  bytes.insert(bytes.end(), threat.begin(), threat.end());
  bytes.push_back(0);
  return bytes;
}

std::vector<uint8_t> Final(int32_t status) {
  std::vector<uint8_t> bytes;
  PutU32(bytes, static_cast<uint32_t>(status));
  return bytes;
}

TEST_F(ClientFlowTest, AScanGoesToTheServerAndTheVerdictComesBack) {
  Configure();
  ScanContext* context = InitClient();
  MakeServersAvailable();
  HostRequest host(5000);  // small enough to be fingerprinted whole
  comm_->conversation = {
      ServerRecord(MessageType::DetectionReport, MessageKind::OneWay, Report(0x20, "Trojan.Gen.2")),
      ServerRecord(MessageType::ScanFinished, MessageKind::FinalAnswer, Final(0))};
  LogCapture capture;
  EXPECT_EQ(client_.Scan(&host.host.callbacks(), &host.request, context), 0);
  EXPECT_EQ(host.verdict, 0x20);
  // Cut to the buffer: capacity - 1 characters and the NUL.
  EXPECT_STREQ(host.threatName, "Trojan.");
  EXPECT_EQ(host.flags, 0);
  EXPECT_TRUE(capture.Contains("Virus detected! Trojan.Gen.2 File:  Action:0"));

  const SentReply& sent = ScanRequestSent();
  EXPECT_EQ(sent.type, MessageType::ScanRequest);
  EXPECT_EQ(sent.kind, MessageKind::Request);
  EXPECT_EQ(sent.channel, context->channel);
  EXPECT_EQ(sent.timeoutMs, 30000);
  EXPECT_FALSE(sent.callerKeepsPayload);
  const std::vector<uint8_t>& payload = sent.payload;
  EXPECT_EQ(GetU32(payload, 0), 0u);     // action
  EXPECT_EQ(GetU64(payload, 4), 5000u);  // file size
  EXPECT_EQ(payload[24], 1);             // fingerprint computed
  EXPECT_EQ(payload[60], 1);             // and strong
  EXPECT_EQ(payload[41], 1);             // the server's cache may answer
  EXPECT_EQ(GetU32(payload, 48), 10u);   // "setup.exe" with its NUL
  const std::string name(payload.begin() + 61, payload.begin() + 70);
  EXPECT_EQ(name, "setup.exe");
  // The server's cache may answer, so no initial buffer goes with the request.
  EXPECT_EQ(GetU32(payload, 61 + 10 + 8), 0u);
  client_.Uninit(context, SONDREL_UNINIT_FINAL);
}

TEST_F(ClientFlowTest, WithoutTheServersCacheTheStartOfTheFileGoesAlong) {
  Configure([](Settings& s) {
    s.useCache = false;
    s.initialBufferSize = 1000;
  });
  ScanContext* context = InitClient();
  MakeServersAvailable();
  HostRequest host(5000);
  comm_->conversation = {
      ServerRecord(MessageType::ScanFinished, MessageKind::FinalAnswer, Final(0))};
  EXPECT_EQ(client_.Scan(&host.host.callbacks(), &host.request, context), 0);
  const std::vector<uint8_t>& payload = ScanRequestSent().payload;
  EXPECT_EQ(payload[41], 0);
  const size_t descriptor = 61 + 10;
  ASSERT_EQ(GetU32(payload, descriptor + 8), 1000u);
  EXPECT_EQ(GetU32(payload, descriptor + 20), 1000u);
  const std::vector<uint8_t> data(payload.begin() + descriptor + 28,
                                  payload.begin() + descriptor + 28 + 1000);
  EXPECT_TRUE(data == host.host.Bytes(0, 1000));
  client_.Uninit(context, SONDREL_UNINIT_FINAL);
}

TEST_F(ClientFlowTest, SendFailuresMarkTheServersDownAndASuccessBringsThemUp) {
  Configure();
  ScanContext* context = InitClient();
  MakeServersAvailable();
  HostRequest host(100);
  struct Step {
    int32_t result;
    const char* line;
    bool logged;
  };
  // Within two seconds of Init: failures while the servers count as up are not reported.
  const Step steps[] = {{4, "ScanInternal (su) SendSockMessage error 4", false},
                        {10, "ScanInternal SERVER DOWN", false},
                        {10, "ScanInternal (sd) SendSockMessage error 10", true},
                        {0, "ScanInternal SERVER UP", true},
                        {0, "ScanInternal SERVER UP", false}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.line);
    comm_->sendResult = step.result;
    comm_->conversation = {};
    host.verdict = -1;
    LogCapture capture;
    EXPECT_EQ(client_.Scan(&host.host.callbacks(), &host.request, context), step.result);
    EXPECT_EQ(capture.Contains(step.line), step.logged);
    EXPECT_EQ(host.verdict, step.result == 0 ? 1 : -1);
    if (step.result != 0) {
      EXPECT_TRUE(capture.Contains("ScanInternal error: " + std::to_string(step.result)));
    }
  }
  client_.Uninit(context, SONDREL_UNINIT_FINAL);
}

TEST_F(ClientFlowTest, OverloadedServersSendRequestsWithAFlagWordToTheLocalEngine) {
  Configure([](Settings& s) {
    s.scanLocalIfError = true;
    s.preferLocalToOverloaded = true;
  });
  ScanContext* context = InitClient();
  MakeServersAvailable(2);
  HostRequest host(100);
  LogCapture capture;
  EXPECT_EQ(client_.Scan(&host.host.callbacks(), &host.request, context),
            static_cast<int32_t>(SONDREL_STATUS_NOT_SCANNED));
  EXPECT_EQ(host.flags, SONDREL_FLAG_SCAN_LOCALLY);
  EXPECT_TRUE(capture.Contains(
      "ScanInternal ignore new request, server is overloaded and we will scan locally: "
      "/data/setup.exe"));
  EXPECT_TRUE(comm_->replies.empty());
  // Without a flag word the request goes to the overloaded servers all the same.
  host.request.flags = nullptr;
  EXPECT_EQ(client_.Scan(&host.host.callbacks(), &host.request, context), 0);
  EXPECT_EQ(comm_->replies.size(), 1u);
  client_.Uninit(context, SONDREL_UNINIT_FINAL);
}

TEST_F(ClientFlowTest, DisinfectionActionsAndTheRebootFlag) {
  struct Case {
    bool disinfectOnly;
    bool flagWord;
    int32_t flagsIn;
    uint32_t verdict;
    int32_t action;
    int32_t flagsOut;
  };
  const Case cases[] = {
      {false, true, SONDREL_DISINFECT_FLAG_EXTENDED, 0x40000000, 3,
       SONDREL_DISINFECT_FLAG_EXTENDED | SONDREL_DISINFECT_FLAG_REBOOT_REQUIRED},
      {false, true, 0, 1, 10, 0},
      {true, true, SONDREL_DISINFECT_FLAG_EXTENDED, 1, 10, SONDREL_DISINFECT_FLAG_EXTENDED},
      {false, false, 0, 0x40000000, 10, 0},
  };
  Configure();
  ScanContext* context = InitClient();
  MakeServersAvailable();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.action << " " << c.flagsIn);
    Configure([&](Settings& s) { s.disinfectOnly = c.disinfectOnly; });
    HostRequest host(100);
    comm_->conversation = {
        ServerRecord(MessageType::DetectionReport, MessageKind::OneWay, Report(c.verdict, "")),
        ServerRecord(MessageType::ScanFinished, MessageKind::FinalAnswer, Final(0))};
    int32_t verdict = -1;
    int32_t flags = c.flagsIn;
    const DisinfectRequest request{&verdict, "/data/setup.exe", nullptr,
                                   c.flagWord ? &flags : nullptr};
    LogCapture capture;
    EXPECT_EQ(client_.Disinfect(&host.host.callbacks(), &request, context), 0);
    EXPECT_EQ(verdict, static_cast<int32_t>(c.verdict));
    EXPECT_EQ(flags, c.flagsOut);
    EXPECT_EQ(capture.Contains("CoreDisinfect reboot required"),
              (c.flagsOut & SONDREL_DISINFECT_FLAG_REBOOT_REQUIRED) != 0);
    const SentReply& sent = ScanRequestSent();
    EXPECT_EQ(static_cast<int32_t>(GetU32(sent.payload, 0)), c.action);
    EXPECT_EQ(sent.timeoutMs, 60000);
    EXPECT_EQ(sent.payload[24], 0);  // no cache, no fingerprint
  }
  client_.Uninit(context, SONDREL_UNINIT_FINAL);
}

TEST_F(ClientFlowTest, TheSlotRegistryWorksThroughTheConnectionManagerFromInitToUninit) {
  QxGuid slot;
  QxGuid server;
  EXPECT_FALSE(client_.slots().AllocSlot(slot, server, false));  // no connection manager yet
  const SlotPair previous{{QxGuid::FakeServer(), QxGuid::NewRandom()},
                          {QxGuid::FakeServer(), QxGuid::NewRandom()}};
  client_.slots().SetPairsToTransfer({previous});

  LogCapture capture;
  ScanContext* context = InitClient();
  // The previous instance's pair is kept through a visit of the sessions; with none to visit it
  // is dropped.
  EXPECT_TRUE(capture.Contains("-> OnDemandSlotEvents::TransferAllSlotPairs"));
  EXPECT_EQ(comm_->enumerations, 1);
  EXPECT_TRUE(client_.slots().CurrentPairs().empty());
  client_.slots().AllocSlot(slot, server, false);
  EXPECT_EQ(comm_->enumerations, 2);
  // A server that went away moves its slots; this one held none.
  EXPECT_TRUE(comm_->ReportServerGone(ServerIdentity{7}));
  EXPECT_TRUE(capture.Contains("<- OnDemandSlotEvents::MoveSlotsFromSession! no slots to move!"));

  // The final Uninit takes the connection manager away from the registry before deleting it.
  client_.Uninit(context, SONDREL_UNINIT_FINAL);
  EXPECT_TRUE(destroyed_);
  EXPECT_FALSE(client_.slots().AllocSlot(slot, server, false));
}

TEST_F(ClientFlowTest, ReloadScanServerPutsTheFilesServersIntoEffect) {
  LogCapture before;
  client_.ReloadScanServer();
  EXPECT_TRUE(before.Lines().empty());  // no connection manager yet: nothing happens

  ScanContext* context = InitClient();
  const size_t codesAtInit = comm_->codes.size();
  LogCapture failed;
  client_.ReloadScanServer();
  EXPECT_TRUE(failed.Contains("CSondrel::ReloadScanServer end : Cannot reload settings from xml"));
  EXPECT_EQ(comm_->codes.size(), codesAtInit);

  std::filesystem::create_directories(settingsDirectory_.path() / "settings");
  std::ofstream(settingsDirectory_.path() / "settings" / "qxcore.xml")
      << "<r><server>scan9.example</server><region>emea</region></r>";
  LogCapture reloaded;
  client_.ReloadScanServer();
  EXPECT_TRUE(reloaded.Contains("CSondrel::ReloadScanServer begin"));
  EXPECT_TRUE(reloaded.Contains("CSondrel::ReloadScanServer end"));
  EXPECT_EQ(std::vector<int32_t>(comm_->codes.begin() + codesAtInit, comm_->codes.end()),
            (std::vector<int32_t>{22, 21, 0}));
  EXPECT_EQ(comm_->reloads, 1);
  EXPECT_EQ(comm_->region, "emea");
  ASSERT_EQ(comm_->servers.size(), 1u);
  EXPECT_EQ(comm_->servers[0].address, "scan9.example");
  client_.Uninit(context, SONDREL_UNINIT_FINAL);
}

}  // namespace
}  // namespace sondrel::test
