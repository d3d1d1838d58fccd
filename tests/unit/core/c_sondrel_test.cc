#include "core/c_sondrel.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace sondrel {
namespace {

constexpr const char* kIgnored = "ScanInternal ignore new request, canScanRemote is false: ";

ScanRequest Request(const char* path, int32_t* flags) {
  ScanRequest request{};
  request.path = path;
  request.displayName = "shown";
  request.cacheAllowed = 1;
  request.flags = flags;
  request.disinfectFlags = 99;
  return request;
}

class CSondrelTest : public testing::Test {
 protected:
  // No settings file and no wait before slots move.
  CSondrelTest() {
    client_.SetInitEnvironment({.settingsDirectory = settingsDirectory_.path().wstring(),
                                .settleTime = std::chrono::milliseconds(0)});
  }

  void EnableScan(bool scanLocalIfError) {
    Settings settings;
    settings.enableScan = true;
    settings.scanLocalIfError = scanLocalIfError;
    client_.settings().ApplySettings(settings);
  }

  test::TempDir settingsDirectory_;
  CSondrel client_;
  HostCallbacks callbacks_{};
};

TEST_F(CSondrelTest, StartsWithBuiltInSettingsAndNoRemoteScanning) {
  EXPECT_FALSE(client_.canScanRemote());
  EXPECT_FALSE(client_.initialised());
  const Settings settings = client_.settings().GetSettings();
  EXPECT_EQ(settings.timeout, 30000);
  EXPECT_FALSE(settings.enableScan);
}

TEST_F(CSondrelTest, TwoClientsAreIndependent) {
  CSondrel other;
  EnableScan(false);
  EXPECT_TRUE(client_.settings().GetSettings().enableScan);
  EXPECT_FALSE(other.settings().GetSettings().enableScan);
}

TEST_F(CSondrelTest, InitHandsOutAFreshContextPerCaller) {
  ScanContext* first = nullptr;
  ScanContext* second = nullptr;
  EXPECT_EQ(client_.Init(&first, nullptr), 0);
  EXPECT_EQ(client_.Init(&second, "/opt/engine"), 0);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_TRUE(client_.initialised());
  EXPECT_NE(first->channel, -1);
  EXPECT_NE(second->channel, -1);
  EXPECT_NE(first->channel, second->channel);
  EXPECT_EQ(first->verdict, 0);
  EXPECT_EQ(client_.Uninit(first, 0), 0);
  EXPECT_EQ(client_.Uninit(second, 0), 0);
}

TEST_F(CSondrelTest, UninitAcceptsNullAndOnlyTheLowByteIsFinal) {
  for (const int32_t flags : {0, 0x100, 1, 0x101, -1}) {
    EXPECT_EQ(client_.Uninit(nullptr, flags), 0) << flags;
    EXPECT_FALSE(client_.initialised());
  }
}

TEST_F(CSondrelTest, ScanWithoutRequestIsNotScanned) {
  ScanContext context;
  EXPECT_EQ(client_.Scan(&callbacks_, nullptr, &context),
            static_cast<int32_t>(SONDREL_STATUS_NOT_SCANNED));
}

TEST_F(CSondrelTest, ScanWhileRemoteScanningIsImpossible) {
  struct Case {
    const char* name;
    bool enableScan;
    bool scanLocalIfError;
    bool flagWord;
    int32_t status;
    int32_t flags;
    bool logged;
  };
  const int32_t kNotScanned = SONDREL_STATUS_NOT_SCANNED;
  const Case cases[] = {
      {"scanning switched off", false, false, true, 0, 0x10 | SONDREL_FLAG_SCAN_DISABLED, false},
      {"switched off, no flag word", false, false, false, kNotScanned, 0x10, true},
      {"scan locally after errors", true, true, true, kNotScanned, 0x10 | SONDREL_FLAG_SCAN_LOCALLY,
       true},
      {"no local scanning", true, false, true, kNotScanned, 0x10, true},
      {"local scanning, no flag word", true, true, false, kNotScanned, 0x10, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CSondrel client;
    Settings settings;
    settings.enableScan = c.enableScan;
    settings.scanLocalIfError = c.scanLocalIfError;
    client.settings().ApplySettings(settings);
    ScanContext context;
    context.disinfectFlags = 7;
    int32_t flags = 0x10;
    ScanRequest request = Request("/data/file.bin", c.flagWord ? &flags : nullptr);

    test::LogCapture capture;
    EXPECT_EQ(client.Scan(&callbacks_, &request, &context), c.status);
    EXPECT_EQ(flags, c.flags);
    EXPECT_EQ(capture.Contains(std::string(kIgnored) + "/data/file.bin"), c.logged);
    // The context's disinfect flags move out with every request that reaches the worker.
    EXPECT_EQ(request.disinfectFlags, c.logged ? 7 : 99);
    EXPECT_EQ(context.disinfectFlags, c.logged ? 0 : 7);
  }
}

TEST_F(CSondrelTest, DisinfectWhileRemoteScanningIsImpossibleWritesAZeroVerdict) {
  ScanContext context;
  int32_t verdict = 77;
  int32_t flags = SONDREL_DISINFECT_FLAG_EXTENDED;
  const DisinfectRequest request{&verdict, "/data/file.bin", nullptr, &flags};
  test::LogCapture capture;
  EXPECT_EQ(client_.Disinfect(&callbacks_, &request, &context),
            static_cast<int32_t>(SONDREL_STATUS_NOT_SCANNED));
  EXPECT_EQ(verdict, 0);
  EXPECT_EQ(flags, SONDREL_DISINFECT_FLAG_EXTENDED);
  EXPECT_TRUE(capture.Contains(std::string(kIgnored) + "/data/file.bin"));
  EXPECT_TRUE(capture.Contains("CoreDisinfect flags0"));

  EXPECT_EQ(client_.Disinfect(&callbacks_, nullptr, &context),
            static_cast<int32_t>(SONDREL_STATUS_NOT_SCANNED));
}

TEST_F(CSondrelTest, ANullPathIsLoggedAsEmpty) {
  EnableScan(false);
  ScanContext context;
  ScanRequest request = Request(nullptr, nullptr);
  test::LogCapture capture;
  EXPECT_EQ(client_.Scan(&callbacks_, &request, &context),
            static_cast<int32_t>(SONDREL_STATUS_NOT_SCANNED));
  EXPECT_EQ(capture.Messages(), std::vector<std::string>{kIgnored});
}

TEST(CSondrelLifetimeTest, DestroyingThroughTheInterfaceDestroysTheClient) {
  std::unique_ptr<IExports> exports = std::make_unique<CSondrel>();
  ScanContext* context = nullptr;
  EXPECT_EQ(exports->Init(&context, nullptr), 0);
  EXPECT_EQ(exports->Uninit(context, 1), 0);
}

}  // namespace
}  // namespace sondrel
