// Kalvix.json: every property of the settings record by its name, the servers, the status socket
// and the hand-over switch; and every way a file can be unusable, each with its reason.
#include "kalvix_config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace sondrel::kalvix {
namespace {

namespace fs = std::filesystem;

// Every key with a value other than its built-in default.
constexpr const char* kEveryKey = R"({
  "statusSocket": "run/kalvix.sock",
  "handOverSlotPairs": false,
  "settings": {
    "servers": [
      {"address": "scan1.example", "port": 7443, "useSSL": true, "priority": 2, "enforced": true,
       "nodeid": "node-1", "tlsPin": "aa:bb"},
      {"address": "scan2.example"}
    ],
    "enableScan": true, "scanLocalIfError": true, "preferLocalToOverloaded": true,
    "port": 1, "portSSL": 2, "timeout": 3, "timeoutDisinfect": 4, "compressionLevel": 5,
    "compressionMinBytes": 6, "connectAsync": false, "useCache": false, "useLocalCache": false,
    "disinfectOnly": true, "cleanSystem": true, "cacheNonPE": false, "hashNonPE": true,
    "hashSmallNonPE": false, "sendInitialBuffer": false, "initialBufferSize": 7,
    "cachemissCountBuffsend": 8, "cacheTreshold": 9, "overloadedServerLimit": 10,
    "underloadedServerLimit": 11, "minServerConnections": 12, "maxServerConnections": 13,
    "acceptConnectSameServer": false, "spareText1": "one", "spareText2": "two",
    "region": "r\u00e9gion", "reconnectInterval": -14, "extractOnServer": true,
    "maxSizeServerExtract": 15, "detectLatency": true, "latencyTimeout": 16,
    "tlsCaFile": "/etc/ca.pem", "tlsCaPath": "/etc/ssl/certs", "tlsVerifyHost": false,
    "tlsPin": "cc:dd", "tlsClientCert": "client.pem", "tlsClientKey": "client.key"
  }
})";

Settings EveryKeySettings() {
  Settings s;
  s.servers.resize(2);
  s.servers[0].address = L"scan1.example";
  s.servers[0].port = 7443;
  s.servers[0].useSSL = true;
  s.servers[0].priority = 2;
  s.servers[0].enforced = true;
  s.servers[0].nodeid = L"node-1";
  s.servers[0].tlsPin = L"aa:bb";
  s.servers[1].address = L"scan2.example";
  s.enableScan = s.scanLocalIfError = s.preferLocalToOverloaded = true;
  s.port = 1;
  s.portSSL = 2;
  s.timeout = 3;
  s.timeoutDisinfect = 4;
  s.compressionLevel = 5;
  s.compressionMinBytes = 6;
  s.connectAsync = s.useCache = s.useLocalCache = false;
  s.disinfectOnly = s.cleanSystem = true;
  s.cacheNonPE = false;
  s.hashNonPE = true;
  s.hashSmallNonPE = s.sendInitialBuffer = false;
  s.initialBufferSize = 7;
  s.cachemissCountBuffsend = 8;
  s.cacheTreshold = 9;
  s.overloadedServerLimit = 10;
  s.underloadedServerLimit = 11;
  s.minServerConnections = 12;
  s.maxServerConnections = 13;
  s.acceptConnectSameServer = false;
  s.spareText1 = L"one";
  s.spareText2 = L"two";
  s.region = L"r\u00e9gion";
  s.reconnectInterval = -14;
  s.extractOnServer = true;
  s.maxSizeServerExtract = 15;
  s.detectLatency = true;
  s.latencyTimeout = 16;
  s.tlsCaFile = L"/etc/ca.pem";
  s.tlsCaPath = L"/etc/ssl/certs";
  s.tlsVerifyHost = false;
  s.tlsPin = L"cc:dd";
  s.tlsClientCert = L"client.pem";
  s.tlsClientKey = L"client.key";
  return s;
}

TEST(KalvixConfigTest, EveryPropertyOfTheSettingsRecordHasItsKey) {
  std::string error;
  const auto config = ParseKalvixConfig(kEveryKey, "/opt/product", error);
  ASSERT_TRUE(config) << error;
  EXPECT_EQ(config->settings, EveryKeySettings());
  EXPECT_EQ(config->statusSocket, "/opt/product/run/kalvix.sock");
  EXPECT_FALSE(config->handOverSlotPairs);

  // What the file leaves out keeps its built-in default.
  const auto minimal = ParseKalvixConfig(R"({"statusSocket": "/run/k.sock"})", "/x", error);
  ASSERT_TRUE(minimal) << error;
  EXPECT_EQ(minimal->settings, Settings());
  EXPECT_EQ(minimal->statusSocket, "/run/k.sock");
  EXPECT_TRUE(minimal->handOverSlotPairs);
  const auto noSocket = ParseKalvixConfig(R"({"settings": {"enableScan": true}})", "/x", error);
  ASSERT_TRUE(noSocket) << error;
  EXPECT_TRUE(noSocket->statusSocket.empty());
  EXPECT_TRUE(noSocket->settings.enableScan);
}

TEST(KalvixConfigTest, UnusableTextIsRefusedWithItsReason) {
  struct Case {
    const char* text;
    const char* reason;
  };
  const Case cases[] = {
      {"{\"settings\": {", "not valid JSON"},
      {"[1, 2]", "the file must hold one JSON object"},
      {R"({"statusSocket": 5})", "statusSocket must be a path"},
      {R"({"statusSocket": ""})", "statusSocket must be a path"},
      {R"({"status": "/run/k.sock"})", "unknown key status"},
      {R"({"handOverSlotPairs": 1})", "handOverSlotPairs must be true or false"},
      {R"({"settings": []})", "settings must be an object"},
      {R"({"settings": {"enablescan": true}})", "unknown key settings.enablescan"},
      {R"({"settings": {"enableScan": 1}})", "settings.enableScan must be true or false"},
      {R"({"settings": {"timeout": "10"}})",
       "settings.timeout must be a whole number from -2147483648 to 2147483647"},
      {R"({"settings": {"timeout": 2147483648}})",
       "settings.timeout must be a whole number from -2147483648 to 2147483647"},
      {R"({"settings": {"timeout": 1.5}})",
       "settings.timeout must be a whole number from -2147483648 to 2147483647"},
      {R"({"settings": {"region": false}})", "settings.region must be a text"},
      {R"({"settings": {"servers": {"address": "a"}}})", "settings.servers must be a list"},
      {R"({"settings": {"servers": [{"port": 1}]}})", "settings.servers[0].address is missing"},
      {R"({"settings": {"servers": [{"address": ""}]}})", "settings.servers[0].address is empty"},
      {R"({"settings": {"servers": [{"address": "a"}, {"address": "b", "tls": true}]}})",
       "unknown key settings.servers[1].tls"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    EXPECT_FALSE(ParseKalvixConfig(c.text, "/x", error));
    EXPECT_EQ(error, c.reason);
  }
  std::string error;
  EXPECT_FALSE(ParseKalvixConfig("{\"settings\": {\"region\": \"\xff\"}}", "/x", error));
  EXPECT_EQ(error, "not valid JSON");
}

TEST(KalvixConfigTest, FilesThatCannotBeReadAreRefusedWithTheirReason) {
  test::TempDir directory;
  const fs::path file = directory.path() / "Kalvix.json";
  std::string error;
  EXPECT_FALSE(ReadKalvixConfig(file.wstring(), error));
  EXPECT_EQ(error, "the file does not exist");

  directory.Write("Kalvix.json", " \n\t");
  EXPECT_FALSE(ReadKalvixConfig(file.wstring(), error));
  EXPECT_EQ(error, "the file is empty");

  directory.Write("Kalvix.json", std::string(kMaxConfigBytes + 1, ' '));
  EXPECT_FALSE(ReadKalvixConfig(file.wstring(), error));
  EXPECT_EQ(error, "the file is larger than 1 MiB");

  fs::remove(file);
  fs::create_directory(file);
  EXPECT_FALSE(ReadKalvixConfig(file.wstring(), error));
  EXPECT_EQ(error, "the file cannot be read");
  fs::remove(file);

  directory.Write("Kalvix.json", R"({"statusSocket": "kalvix.sock"})");
  const auto config = ReadKalvixConfig(file.wstring(), error);
  ASSERT_TRUE(config) << error;
  EXPECT_EQ(config->statusSocket, (directory.path() / "kalvix.sock").string());
}

}  // namespace
}  // namespace sondrel::kalvix
