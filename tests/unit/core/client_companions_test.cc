// The companion libraries in the client's life: the internal monitor library found beside the
// host program or above it, the monitor receiver and the settings file when it is missing, the
// response cache answering repeated scans, the announcements to the monitors, and the unloading
// by the final Uninit.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/c_sondrel.h"
#include "fake_companions/companion_calls.h"
#include "protocol/message_codes.h"
#include "support/fake_host/fake_host.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "unit/core/scripted_comm_client.h"

namespace sondrel::test {
namespace {

namespace fs = std::filesystem;

bool Called(const std::string& call) {
  const std::vector<std::string> calls = CompanionCalls();
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

class ClientCompanionsTest : public testing::Test {
 protected:
  ClientCompanionsTest() {
    fs::create_directories(executableDirectory());
    fs::create_directories(libraryDirectory());
    ClearCompanionCalls();
  }

  fs::path executableDirectory() const { return root_.path() / "product" / "bin"; }
  fs::path libraryDirectory() const { return root_.path() / "engine"; }

  // A settings file beside the host program that switches scanning on.
  void WriteSettingsFile() {
    fs::create_directories(executableDirectory() / "settings");
    std::ofstream(executableDirectory() / "settings" / "qxcore.xml")
        << "<r><server>scan1.example</server><uselocalcache>1</uselocalcache></r>";
  }

  ScanContext* InitClient() {
    client_.SetInitEnvironment({.makeCommClient =
                                    [this] {
                                      auto made = std::make_unique<ScriptedCommClient>();
                                      comm_ = made.get();
                                      return made;
                                    },
                                .settingsDirectory = executableDirectory().wstring(),
                                .executableDirectory = executableDirectory().wstring() + L"/",
                                .libraryDirectory = libraryDirectory().wstring() + L"/",
                                .settleTime = std::chrono::milliseconds(0)});
    ScanContext* context = nullptr;
    EXPECT_EQ(client_.Init(&context, nullptr), 0);
    return context;
  }

  void ReportAvailability() {
    comm_->ReportAvailability(false, 0);
    comm_->ReportAvailability(true, 0);
  }

  TempDir root_;
  CSondrel client_;
  ScriptedCommClient* comm_ = nullptr;
};

TEST_F(ClientCompanionsTest, TheInternalMonitorIsFoundAboveTheProgramAndHearsEverything) {
  for (const fs::path& directory :
       {executableDirectory(), executableDirectory().parent_path(), root_.path()}) {
    SCOPED_TRACE(directory.string());
    fs::copy_file(SONDREL_FAKE_COMPANION, directory / "Kalvix.so");
    WriteSettingsFile();
    ClearCompanionCalls();
    CSondrel& client = client_;
    LogCapture capture;
    ScanContext* context = InitClient();
    EXPECT_TRUE(capture.Contains("IInternalOstrel loaded: true"));
    EXPECT_TRUE(Called("create InternalOstrel"));
    // The monitor supplies the settings: the file is not read.
    EXPECT_FALSE(client.settings().GetSettings().enableScan);
    EXPECT_FALSE(capture.Contains("Read settings from qxcore.xml"));

    ReportAvailability();
    EXPECT_TRUE(Called("notify 0x11003 object"));
    EXPECT_FALSE(Called("can scan remote true"));

    LogCapture shutdown;
    client.Uninit(context, SONDREL_UNINIT_FINAL);
    EXPECT_TRUE(Called("notify 0x11002 none"));
    EXPECT_TRUE(Called("destroy InternalOstrel"));
    EXPECT_TRUE(shutdown.Contains("Unregistered from IInternalOstrel: true"));
    EXPECT_TRUE(shutdown.Contains("IInternalOstrel unloaded"));
    fs::remove(directory / "Kalvix.so");
  }
}

TEST_F(ClientCompanionsTest, WithoutTheInternalMonitorTheReceiverAndTheSettingsFileServe) {
  fs::copy_file(SONDREL_FAKE_COMPANION, executableDirectory() / "ostrel.so");
  WriteSettingsFile();
  LogCapture capture;
  ScanContext* context = InitClient();
  EXPECT_TRUE(capture.Contains("IInternalOstrel loaded: false"));
  EXPECT_TRUE(capture.Contains("Could not load Kalvix, so switching back to Ostrel.dll"));
  EXPECT_TRUE(capture.Contains("Loaded Ostrel.dll: true"));
  EXPECT_TRUE(client_.settings().GetSettings().enableScan);
  EXPECT_TRUE(Called("create monitorReceiver"));
  EXPECT_TRUE(Called("register client"));

  ReportAvailability();
  EXPECT_TRUE(Called("can scan remote true"));
  EXPECT_FALSE(Called("notify 0x11003 object"));

  LogCapture shutdown;
  client_.Uninit(context, SONDREL_UNINIT_FINAL);
  EXPECT_TRUE(Called("destroy monitorReceiver"));
  EXPECT_TRUE(shutdown.Contains("Unload monitor receiver"));
  EXPECT_TRUE(shutdown.Contains("Unregistered from IInternalOstrel: false"));
}

std::vector<uint8_t> FinalWithCacheValue(uint32_t cacheValue) {
  std::vector<uint8_t> bytes(53, 0);
  for (int i = 0; i < 4; ++i) {
    bytes[48 + i] = static_cast<uint8_t>(cacheValue >> (8 * i));
  }
  return bytes;
}

TEST_F(ClientCompanionsTest, TheResponseCacheAnswersARepeatedScanWithoutTheServer) {
  fs::copy_file(SONDREL_MERRIN, libraryDirectory() / "Merrin.so");
  // Its settings file keeps the cache out of the machine's own cache directory.
  std::ofstream(libraryDirectory() / "Merrin.conf")
      << "directory = " << (root_.path() / "cache").string() << "\n";
  WriteSettingsFile();
  LogCapture capture;
  ScanContext* context = InitClient();
  EXPECT_TRUE(capture.Contains("Merrin was loaded: yes"));
  ReportAvailability();

  FakeHost host(PatternFile(3000));
  int32_t verdict = 0;
  ScanRequest request{};
  request.path = "/data/report.doc";
  request.verdict = &verdict;
  request.cacheAllowed = 1;
  // The host's profile record (property 2) is its first word 3 and zeros; the server lets the
  // clean verdict be cached under the profile value of that record.
  host.callbacks().getProperty = [](int32_t, HostPropertyBuffer*, int32_t, void*) {
    return int32_t{0};
  };
  constexpr uint32_t kProfileValue = 0x02A3D145;
  comm_->conversation = {ServerRecord(MessageType::ScanFinished, MessageKind::FinalAnswer,
                                      FinalWithCacheValue(kProfileValue))};
  ASSERT_EQ(client_.Scan(&host.callbacks(), &request, context), 0);
  EXPECT_EQ(comm_->replies.size(), 1u);

  LogCapture second;
  verdict = 0;
  ASSERT_EQ(client_.Scan(&host.callbacks(), &request, context), 0);
  EXPECT_EQ(comm_->replies.size(), 1u);  // the server was not asked again
  EXPECT_TRUE(second.Contains("File found in local cache: file </data/report.doc> size :3000"));
  EXPECT_EQ(verdict, 0);  // a local cache hit leaves the verdict out-field alone

  LogCapture shutdown;
  client_.Uninit(context, SONDREL_UNINIT_FINAL);
  EXPECT_TRUE(shutdown.Contains("Unload cache"));
}

TEST_F(ClientCompanionsTest, NoCompanionsAtAll) {
  LogCapture capture;
  ScanContext* context = InitClient();
  EXPECT_TRUE(capture.Contains("Loaded Ostrel.dll: false"));
  EXPECT_TRUE(capture.Contains("Merrin was loaded: no"));
  client_.Uninit(context, SONDREL_UNINIT_FINAL);
}

}  // namespace
}  // namespace sondrel::test
