#include "objectmodel/settings_mapping.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "config/server_settings.h"
#include "config/settings.h"
#include "config/settings_property_ids.h"
#include "objectmodel/proxy.h"
#include "objectmodel/result_codes.h"

namespace Kalvix {
namespace {

using sondrel::ServerSettings;
using sondrel::Settings;

struct PropertyCase {
  uint32_t id;
  int32_t typeCode;
};

TEST(SettingsMappingTest, EverySettingsPropertyIsBoundWithItsKind) {
  constexpr int32_t kBool = 0, kInt = 1, kString = 21, kList = 0;
  const std::vector<PropertyCase> cases = {
      {sondrel::kPropServers, kList},
      {sondrel::kPropEnableScan, kBool},
      {sondrel::kPropScanLocalIfError, kBool},
      {sondrel::kPropPort, kInt},
      {sondrel::kPropPortSSL, kInt},
      {sondrel::kPropTimeout, kInt},
      {sondrel::kPropTimeoutDisinfect, kInt},
      {sondrel::kPropCompressionLevel, kInt},
      {sondrel::kPropCompressionMinBytes, kInt},
      {sondrel::kPropConnectAsync, kBool},
      {sondrel::kPropUseCache, kBool},
      {sondrel::kPropUseLocalCache, kBool},
      {sondrel::kPropDisinfectOnly, kBool},
      {sondrel::kPropCleanSystem, kBool},
      {sondrel::kPropCacheNonPE, kBool},
      {sondrel::kPropHashNonPE, kBool},
      {sondrel::kPropHashSmallNonPE, kBool},
      {sondrel::kPropSendInitialBuffer, kBool},
      {sondrel::kPropInitialBufferSize, kInt},
      {sondrel::kPropCachemissCountBuffsend, kInt},
      {sondrel::kPropCacheTreshold, kInt},
      {sondrel::kPropOverloadedServerLimit, kInt},
      {sondrel::kPropUnderloadedServerLimit, kInt},
      {sondrel::kPropMinServerConnections, kInt},
      {sondrel::kPropMaxServerConnections, kInt},
      {sondrel::kPropAcceptConnectSameServer, kBool},
      {sondrel::kPropSpareText1, kString},
      {sondrel::kPropRegion, kString},
      {sondrel::kPropSpareText2, kString},
      {sondrel::kPropReconnectInterval, kInt},
      {sondrel::kPropExtractOnServer, kBool},
      {sondrel::kPropMaxSizeServerExtract, kInt},
      {sondrel::kPropPreferLocalToOverloaded, kBool},
      {sondrel::kPropDetectLatency, kBool},
      {sondrel::kPropLatencyTimeout, kInt},
      {sondrel::kPropTlsCaFile, kString},
      {sondrel::kPropTlsCaPath, kString},
      {sondrel::kPropTlsVerifyHost, kBool},
      {sondrel::kPropTlsPin, kString},
      {sondrel::kPropTlsClientCert, kString},
      {sondrel::kPropTlsClientKey, kString},
  };
  EXPECT_EQ(SettingsMapping().Size(), cases.size());
  EXPECT_EQ(SettingsMapping().Version(), 1);
  EXPECT_FALSE(SettingsMapping().IsReadOnly());
  for (const PropertyCase& c : cases) {
    const auto* operation = SettingsMapping().Find(c.id);
    ASSERT_NE(operation, nullptr) << std::hex << c.id;
    EXPECT_EQ(operation->TypeCode(), c.typeCode) << std::hex << c.id;
  }

  const std::vector<PropertyCase> serverCases = {
      {sondrel::kPropServerAddress, kString}, {sondrel::kPropServerPort, kInt},
      {sondrel::kPropServerUseSSL, kBool},    {sondrel::kPropServerPriority, kInt},
      {sondrel::kPropServerEnforced, kBool},  {sondrel::kPropServerNodeid, kString},
      {sondrel::kPropServerTlsPin, kString},
  };
  EXPECT_EQ(ServerSettingsMapping()->Size(), serverCases.size());
  for (const PropertyCase& c : serverCases) {
    const auto* operation = ServerSettingsMapping()->Find(c.id);
    ASSERT_NE(operation, nullptr) << std::hex << c.id;
    EXPECT_EQ(operation->TypeCode(), c.typeCode) << std::hex << c.id;
  }
}

// The ids reach the fields they name, including those out of declaration order.
TEST(SettingsMappingTest, IdsReachTheirFields) {
  Settings record;
  Proxy<Settings> proxy(&record, SettingsMapping());
  qx::StringT region(L"eu-west");
  qx::StringT spare(L"spare two");
  EXPECT_EQ(proxy.Set(sondrel::kPropRegion, &region), kResultOk);
  EXPECT_EQ(proxy.Set(sondrel::kPropSpareText2, &spare), kResultOk);
  EXPECT_EQ(proxy.Set(sondrel::kPropPreferLocalToOverloaded, 1), kResultOk);
  EXPECT_EQ(proxy.Set(sondrel::kPropLatencyTimeout, 20000), kResultOk);
  EXPECT_EQ(record.region.View(), L"eu-west");
  EXPECT_EQ(record.spareText2.View(), L"spare two");
  EXPECT_TRUE(record.spareText1.IsEmpty());
  EXPECT_TRUE(record.preferLocalToOverloaded);
  EXPECT_EQ(record.latencyTimeout, 20000);
  qx::StringT caFile(L"/etc/sondrel/ca.pem");
  EXPECT_EQ(proxy.Set(sondrel::kPropTlsCaFile, &caFile), kResultOk);
  EXPECT_EQ(proxy.Set(sondrel::kPropTlsVerifyHost, 0), kResultOk);
  EXPECT_EQ(record.tlsCaFile.View(), L"/etc/sondrel/ca.pem");
  EXPECT_TRUE(record.tlsCaPath.IsEmpty());
  EXPECT_FALSE(record.tlsVerifyHost);

  ServerSettings server;
  Proxy<ServerSettings> serverProxy(&server, *ServerSettingsMapping());
  EXPECT_EQ(serverProxy.Set(sondrel::kPropServerPriority, 9), kResultOk);
  EXPECT_EQ(serverProxy.Set(sondrel::kPropServerEnforced, 1), kResultOk);
  EXPECT_EQ(server.priority, 9);
  EXPECT_TRUE(server.enforced);
  EXPECT_FALSE(server.useSSL);
  qx::StringT pin(L"aa:bb");
  EXPECT_EQ(serverProxy.Set(sondrel::kPropServerTlsPin, &pin), kResultOk);
  EXPECT_EQ(server.tlsPin.View(), L"aa:bb");
  EXPECT_TRUE(server.nodeid.IsEmpty());
  EXPECT_EQ(serverProxy.Set(0x22000, 1), kResultIdOutOfRange);
}

Settings EveryFieldChanged() {
  Settings s;
  ServerSettings first;
  first.address = L"scan-1.example";
  first.port = 7083;
  first.useSSL = true;
  first.priority = 3;
  first.enforced = true;
  first.nodeid = L"node-1";
  first.tlsPin = L"pin-1";
  ServerSettings second;
  second.address = L"10.0.0.2";
  second.port = 9000;
  second.priority = -1;
  s.servers = {first, second};
  s.enableScan = true;
  s.scanLocalIfError = true;
  s.preferLocalToOverloaded = true;
  s.port = 1;
  s.portSSL = 2;
  s.timeout = 3;
  s.timeoutDisinfect = 4;
  s.compressionLevel = 9;
  s.compressionMinBytes = -1;
  s.connectAsync = false;
  s.useCache = false;
  s.useLocalCache = false;
  s.disinfectOnly = true;
  s.cleanSystem = true;
  s.cacheNonPE = false;
  s.hashNonPE = true;
  s.hashSmallNonPE = false;
  s.sendInitialBuffer = false;
  s.initialBufferSize = 5;
  s.cachemissCountBuffsend = 6;
  s.cacheTreshold = 7;
  s.overloadedServerLimit = 8;
  s.underloadedServerLimit = 9;
  s.minServerConnections = 10;
  s.maxServerConnections = 11;
  s.acceptConnectSameServer = false;
  s.spareText1 = L"spare one";
  s.spareText2 = L"spare two";
  s.region = L"region \u00e9";
  s.reconnectInterval = 12;
  s.extractOnServer = true;
  s.maxSizeServerExtract = INT32_MAX;
  s.detectLatency = true;
  s.latencyTimeout = 13;
  s.tlsCaFile = L"ca.pem";
  s.tlsCaPath = L"certs";
  s.tlsVerifyHost = false;
  s.tlsPin = L"pin";
  s.tlsClientCert = L"client.pem";
  s.tlsClientKey = L"client.key";
  return s;
}

TEST(SettingsMappingTest, AWholeRecordCrossesBetweenTwoProxies) {
  const Settings source = EveryFieldChanged();
  Settings sourceCopy = source;
  Settings destination;
  destination.servers = {ServerSettings(), ServerSettings(), ServerSettings()};
  Proxy<Settings> from(&sourceCopy, SettingsMapping());
  Proxy<Settings> to(&destination, SettingsMapping());
  EXPECT_EQ(from.CopyTo(&to), 0);
  EXPECT_EQ(destination, source);
  EXPECT_EQ(sourceCopy, source);

  // And back onto a record with the built-in defaults, through a read-only view of the copy.
  Settings again;
  Proxy<const Settings> view(&destination, SettingsMapping());
  Proxy<Settings> back(&again, SettingsMapping());
  EXPECT_EQ(view.CopyTo(&back), 0);
  EXPECT_EQ(again, source);
}

}  // namespace
}  // namespace Kalvix
