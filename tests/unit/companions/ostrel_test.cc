// The monitor receiver we ship, over a client that counts its reload requests: nothing before
// the registration, one reload for a burst of edits and at most one a second, the log line for
// changes of remote scanning, and nothing once the object is gone.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "companion_test_paths.h"
#include "companions/exported_object.h"
#include "companions/guid.h"
#include "core/i_sondrel_events.h"
#include "logging/logger_registry.h"
#include "monitor_receiver.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using ostrel::MonitorReceiver;

class CountingClient final : public ISondrelEvents {
 public:
  void ReloadScanServer() override {
    std::lock_guard<std::mutex> lock(mutex_);
    reloads_.push_back(Clock::now());
  }
  std::vector<Clock::time_point> reloads() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reloads_;
  }
  bool WaitForReloads(size_t count, std::chrono::milliseconds limit = 4000ms) {
    const auto deadline = Clock::now() + limit;
    while (reloads().size() < count) {
      if (Clock::now() > deadline) {
        return false;
      }
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::vector<Clock::time_point> reloads_;
};

class OstrelTest : public testing::Test {
 protected:
  OstrelTest() { fs::create_directories(settingsFile().parent_path()); }

  // Where the client looks first: "settings/qxcore.xml" in the start directory.
  fs::path settingsFile() const { return directory_.path() / "settings" / "qxcore.xml"; }
  void Edit(const std::string& content) { std::ofstream(settingsFile()) << content; }
  std::unique_ptr<MonitorReceiver> MakeReceiver() {
    return std::make_unique<MonitorReceiver>(directory_.wide(), GetLogger("qx.sondrel.ostrel"),
                                             ostrel::ReloadTiming{50ms, 1000ms});
  }

  test::TempDir directory_;
  CountingClient client_;
};

TEST_F(OstrelTest, EditsAfterTheRegistrationReloadTheServerListAtMostOnceASecond) {
  test::LogCapture capture;
  std::unique_ptr<MonitorReceiver> receiver = MakeReceiver();
  Edit("<r><server>before.example</server></r>");
  std::this_thread::sleep_for(150ms);
  EXPECT_TRUE(client_.reloads().empty());  // nothing runs before the registration

  receiver->Register(&client_);
  EXPECT_TRUE(capture.Contains("ostrel: watching " + settingsFile().string()));
  for (int i = 0; i < 4; ++i) {
    Edit("<r><server>s" + std::to_string(i) + ".example</server></r>");
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_TRUE(client_.WaitForReloads(1));
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(client_.reloads().size(), 1u);  // one reload for the burst
  EXPECT_TRUE(capture.Contains("ostrel: " + settingsFile().string() +
                               " changed, reloading the server list"));

  Edit("<r><server>next.example</server></r>");
  ASSERT_TRUE(client_.WaitForReloads(2));
  const std::vector<Clock::time_point> reloads = client_.reloads();
  EXPECT_GE(reloads[1] - reloads[0], 1000ms);

  // An edit that makes the file unusable is still the client's to judge.
  fs::remove(settingsFile());
  ASSERT_TRUE(client_.WaitForReloads(3));

  receiver.reset();
  Edit("<r><server>after.example</server></r>");
  std::this_thread::sleep_for(1300ms);
  EXPECT_EQ(client_.reloads().size(), 3u);
}

TEST_F(OstrelTest, ChangesOfRemoteScanningGoToTheLog) {
  test::LogCapture capture;
  std::unique_ptr<MonitorReceiver> receiver = MakeReceiver();
  receiver->CanScanRemoteChanged(true);
  receiver->CanScanRemoteChanged(false);
  EXPECT_EQ(capture.Messages(),
            (std::vector<std::string>{"ostrel: remote scanning is available",
                                      "ostrel: remote scanning is unavailable"}));
  receiver->Register(nullptr);  // no client: nothing is watched
  EXPECT_FALSE(capture.Contains("ostrel: watching"));
}

TEST(OstrelLibraryTest, ExportsTheMonitorReceiverAndNothingElse) {
  ExportedObject<IMonitorReceiver> holder;
  EXPECT_EQ(holder.Load(test::OstrelPath(), L"monitorReceiver", kMonitorReceiverId), 0);
  ASSERT_NE(holder.interface(), nullptr);
  holder.Release();
  EXPECT_NE(holder.Load(test::OstrelPath(), L"InternalOstrel", kMonitorReceiverId), 0);
  EXPECT_NE(holder.Load(test::OstrelPath(), L"monitorReceiver", kServPluginId), 0);
  EXPECT_FALSE(holder.loaded());
}

}  // namespace
}  // namespace sondrel
