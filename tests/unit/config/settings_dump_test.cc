#include "config/settings_dump.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/settings_store.h"
#include "logging/logger_registry.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace sondrel {
namespace {

std::vector<std::string> GeneralLines(const std::string& region, const std::string& caFile) {
  return {
      "General Sondrel settings:",
      "enableScan: 1",
      "scanLocalIfError: 0",
      "preferLocalToOverloaded: 0",
      "port: 7081",
      "portSSL: 7083",
      "timeout: 10000",
      "timeoutDisinfect: 60000",
      "compressionLevel: 0",
      "compressionMinBytes: -1",
      "connectAsync: 1",
      "useCache: 1",
      "useLocalCache: 0",
      "disinfectOnly: 1",
      "cleanSystem: 1",
      "cacheNonPE: 1",
      "hashNonPE: 0",
      "hashSmallNonPE: 1",
      "sendInitialBuffer: 1",
      "initialBufferSize: 16384",
      "cachemissCountBuffsend: 5",
      "cacheTreshold: 0",
      "overloadedServerLimit: 5",
      "underloadedServerLimit: 5",
      "minServerConnections: 2",
      "maxServerConnections: 4",
      "acceptConnectSameServer: 1",
      "detectLatency: 0",
      "latencyTimeout: 50000",
      "region: " + region,
      "reconnectInterval: 5",
      "tlsCaFile: " + caFile,
      "tlsCaPath: ",
      "tlsVerifyHost: 1",
      "tlsPin: ",
      "tlsClientCert: ",
      "tlsClientKey: ",
  };
}

TEST(SettingsDumpTest, FileLoadLogsTheOutcomeAndEveryLineInOrder) {
  test::TempDir dir;
  dir.Write("settings/qxcore.xml",
            "<r><region>\xc3\xa9u</region><tlscafile>/etc/ca.pem</tlscafile><servers>"
            "<server><address>scan1</address><priority>2</priority></server>"
            "<server><address>scan2</address><useSSL>1</useSSL><enforced>1</enforced>"
            "<tlspin>ab:cd</tlspin></server>"
            "</servers></r>");
  SettingsStore store;
  store.SetLogger(GetLogger("qx.sondrel.scan.manager"));
  test::LogCapture capture;
  ASSERT_TRUE(store.LoadFromFile(dir.wide()));

  std::vector<std::string> expected = {"Read settings from qxcore.xml succeeded. New settings:"};
  for (const std::string& line : GeneralLines("\xc3\xa9u", "/etc/ca.pem")) {
    expected.push_back(line);
  }
  for (const char* line :
       {"Sondrel servers (2): ", "Server 1", "  address: scan1", "  port: 7081", "  useSSL: 0",
        "  priority: 2", "  enforced: 0", "  nodeid: ", "  tlsPin: ", "Server 2",
        "  address: scan2", "  port: 7083", "  useSSL: 1", "  priority: 0", "  enforced: 1",
        "  nodeid: ", "  tlsPin: ab:cd"}) {
    expected.push_back(line);
  }
  EXPECT_EQ(capture.Messages(), expected);
}

TEST(SettingsDumpTest, ResetWithoutServersEndsWithTheEmptyServerLine) {
  SettingsStore store;
  store.SetLogger(GetLogger("qx.sondrel.scan.manager"));
  Settings settings;
  settings.servers.clear();
  settings.servers.push_back({});
  settings.servers[0].nodeid = L"n1";
  store.ApplySettings(settings);

  test::LogCapture capture;
  store.ApplySettings(Settings{});
  const std::vector<std::string> messages = capture.Messages();
  ASSERT_EQ(messages.size(), 39u);
  EXPECT_EQ(messages.front(), "Reset settings succeeded. New settings:");
  EXPECT_EQ(messages[1], "General Sondrel settings:");
  EXPECT_EQ(messages[2], "enableScan: 0");
  EXPECT_EQ(messages[7], "timeout: 30000");
  EXPECT_EQ(messages.back(), "Sondrel servers (0): ");
}

}  // namespace
}  // namespace sondrel
