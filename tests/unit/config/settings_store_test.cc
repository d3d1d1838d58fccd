#include "config/settings_store.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "config/settings_propagation.h"

namespace sondrel {
namespace {

TEST(SettingsStoreTest, StartsWithTheBuiltInDefaults) {
  const Settings s = SettingsStore().GetSettings();
  EXPECT_TRUE(s.servers.empty());
  EXPECT_FALSE(s.enableScan);
  EXPECT_EQ(s.timeout, 30000);
  EXPECT_EQ(s.maxServerConnections, 3);
  EXPECT_EQ(s.compressionLevel, -1);
  EXPECT_EQ(s.compressionMinBytes, 4096);
  EXPECT_TRUE(s.useLocalCache);
  EXPECT_FALSE(s.disinfectOnly);
  EXPECT_FALSE(s.cleanSystem);
  EXPECT_EQ(s.overloadedServerLimit, 10);
  EXPECT_EQ(s.underloadedServerLimit, 10);
  EXPECT_EQ(s.reconnectInterval, 30);
  EXPECT_EQ(s.latencyTimeout, 50000);
  EXPECT_EQ(s.maxSizeServerExtract, 0x500000);
  const ServerSettings server;
  EXPECT_EQ(server.port, 7081);
  EXPECT_EQ(server.priority, 1);
  EXPECT_FALSE(server.useSSL);
  EXPECT_TRUE(server.tlsPin.View().empty());
  EXPECT_TRUE(s.tlsCaFile.View().empty());
  EXPECT_TRUE(s.tlsVerifyHost);
}

TEST(SettingsStoreTest, ScanOptionsCopyEveryFieldToItsPlace) {
  Settings s;
  s.disinfectOnly = true;
  s.sendInitialBuffer = false;
  s.cachemissCountBuffsend = 3;
  s.scanLocalIfError = true;
  s.preferLocalToOverloaded = true;
  s.timeoutDisinfect = 4;
  s.timeout = 5;
  s.initialBufferSize = 6;
  s.cleanSystem = true;
  s.cacheNonPE = false;
  s.hashSmallNonPE = false;
  s.cacheTreshold = 7;
  s.useLocalCache = false;
  s.enableScan = true;
  s.useCache = false;
  s.hashNonPE = true;
  s.extractOnServer = true;
  s.maxSizeServerExtract = -8;
  SettingsStore store;
  store.ApplySettings(s);
  const ScanOptions o = store.GetScanOptions();
  EXPECT_EQ(o.disinfectOnly, 1);
  EXPECT_EQ(o.sendInitialBuffer, 0);
  EXPECT_EQ(o.cachemissCountBuffsend, 3);
  EXPECT_EQ(o.scanLocalIfError, 1);
  EXPECT_EQ(o.preferLocalToOverloaded, 1);
  EXPECT_EQ(o.timeoutDisinfect, 4);
  EXPECT_EQ(o.timeout, 5);
  EXPECT_EQ(o.initialBufferSize, 6);
  EXPECT_EQ(o.cleanSystem, 1);
  EXPECT_EQ(o.cacheNonPE, 0);
  EXPECT_EQ(o.hashSmallNonPE, 0);
  EXPECT_EQ(o.cacheTreshold, 7);
  EXPECT_EQ(o.useLocalCache, 0);
  EXPECT_EQ(o.enableScan, 1);
  EXPECT_EQ(o.useCache, 0);
  EXPECT_EQ(o.hashNonPE, 1);
  EXPECT_EQ(o.extractOnServer, 1);
  EXPECT_EQ(o.maxSizeServerExtract, -8);
}

TEST(SettingsStoreTest, CopyRebuildsTheServerEntries) {
  Settings s;
  s.servers.resize(2);
  s.servers[0].address = L"h\u00f4te";
  s.servers[0].port = 7443;
  s.servers[0].useSSL = true;
  s.servers[0].priority = -2;
  s.servers[0].nodeid = L"n\u00e9";
  s.servers[1].address = L"b";
  s.servers[1].enforced = true;
  SettingsStore store;
  store.ApplySettings(s);

  Settings copy;
  std::vector<CommServerEntry> entries(5);
  store.CopySettings(copy, entries);
  EXPECT_TRUE(copy == s);
  const std::vector<CommServerEntry> expected = {
      {-2, 0, "7443", "h\xc3\xb4te", "n\xc3\xa9", 0, 1, ""},
      {1, 1, "7081", "b", "", 0, 0, ""},
  };
  EXPECT_EQ(entries, expected);

  store.ApplySettings(Settings{});
  store.CopySettings(copy, entries);
  EXPECT_TRUE(entries.empty());
}

// Records what the settings propagation hands over.
class RecordingSink : public IOptionSink {
 public:
  struct Call {
    int32_t code = 0;
    int32_t number = 0;
    std::string text;
    std::vector<CommServerEntry> servers;
    bool operator==(const Call&) const = default;
  };

  int32_t SetOption(int32_t code, const void* value) override {
    EXPECT_EQ(applies, 0) << "option set after apply";
    if (code == kOptionServers) {
      calls.push_back(Servers(*static_cast<const std::vector<CommServerEntry>*>(value)));
    } else if (code == kOptionRegion || code == kOptionTlsCaFile || code == kOptionTlsCaPath ||
               code == kOptionTlsPin || code == kOptionTlsClientCert ||
               code == kOptionTlsClientKey) {
      calls.push_back(Text(code, static_cast<const char*>(value)));
    } else {
      calls.push_back(Number(code, *static_cast<const int32_t*>(value)));
    }
    return 0;
  }
  int32_t ApplyOptions() override {
    ++applies;
    return 0;
  }

  static Call Servers(std::vector<CommServerEntry> servers) {
    return {kOptionServers, 0, {}, std::move(servers)};
  }
  static Call Number(int32_t code, int32_t value) { return {code, value, {}, {}}; }
  static Call Text(int32_t code, std::string text) { return {code, 0, std::move(text), {}}; }
  static Call Region(std::string text) { return Text(kOptionRegion, std::move(text)); }

  std::vector<Call> calls;
  int applies = 0;
};

TEST(SettingsPropagationTest, HandsEveryValueOverInOrderThenAppliesOnce) {
  Settings s;
  s.servers.resize(1);
  s.servers[0].address = L"scan1";
  s.region = L"eu-\u00e9";
  s.timeout = 1001;
  s.compressionLevel = 2;
  s.compressionMinBytes = 3;
  s.connectAsync = false;
  s.overloadedServerLimit = 4;
  s.underloadedServerLimit = 5;
  s.reconnectInterval = 6;
  s.minServerConnections = 7;
  s.maxServerConnections = 8;
  s.acceptConnectSameServer = true;
  s.enableScan = true;
  s.detectLatency = true;
  s.scanLocalIfError = false;
  s.latencyTimeout = 9;
  s.tlsCaFile = L"/etc/ca\u00e9.pem";
  s.tlsCaPath = L"/etc/ssl/certs";
  s.tlsVerifyHost = false;
  s.tlsPin = L"ab12";
  s.tlsClientCert = L"client.pem";
  s.tlsClientKey = L"client.key";
  s.servers[0].tlsPin = L"cd34";
  SettingsStore store;
  store.ApplySettings(s);

  RecordingSink sink;
  PropagateSettings(store, sink);
  const std::vector<RecordingSink::Call> expected = {
      RecordingSink::Servers({{1, 0, "7081", "scan1", "", 0, 0, "cd34"}}),
      RecordingSink::Region("eu-\xc3\xa9"),
      RecordingSink::Number(32, 1001),
      RecordingSink::Number(36, 1001),
      RecordingSink::Number(14, 2),
      RecordingSink::Number(15, 3),
      RecordingSink::Number(19, 0),
      RecordingSink::Number(26, 4),
      RecordingSink::Number(27, 5),
      RecordingSink::Number(31, 6),
      RecordingSink::Number(28, 7),
      RecordingSink::Number(29, 8),
      RecordingSink::Number(30, 1),
      RecordingSink::Number(40, 1),
      RecordingSink::Number(41, 1),
      RecordingSink::Number(42, 0),
      RecordingSink::Number(43, 9),
      RecordingSink::Text(44, "/etc/ca\xc3\xa9.pem"),
      RecordingSink::Text(45, "/etc/ssl/certs"),
      RecordingSink::Number(46, 0),
      RecordingSink::Text(47, "ab12"),
      RecordingSink::Text(48, "client.pem"),
      RecordingSink::Text(49, "client.key"),
  };
  EXPECT_EQ(sink.calls, expected);
  EXPECT_EQ(sink.applies, 1);
}

TEST(SettingsPropagationTest, AnEmptyServerListIsHandedOverEmpty) {
  SettingsStore store;
  RecordingSink sink;
  PropagateSettings(store, sink);
  ASSERT_EQ(sink.calls.size(), 23u);
  EXPECT_EQ(sink.calls[0], RecordingSink::Servers({}));
  EXPECT_EQ(sink.calls[1], RecordingSink::Region(""));
}

}  // namespace
}  // namespace sondrel
