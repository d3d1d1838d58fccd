#include "config/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "config/settings_store.h"
#include "logging/logger_registry.h"
#include "platform/utf8.h"
#include "sondrel/sondrel.h"
#include "support/log_capture.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace sondrel {
namespace {

constexpr const char* kFailed = "Read settings from qxcore.xml failed";

// A store whose settings file lives in a temporary "executable directory".
class SettingsFileTest : public testing::Test {
 protected:
  SettingsFileTest() { store_.SetLogger(GetLogger("qx.sondrel.scan.manager")); }

  bool Load(const std::string& xml) {
    dir_.Write("settings/qxcore.xml", xml);
    return store_.LoadFromFile(dir_.wide());
  }
  Settings Live() const { return store_.GetSettings(); }

  test::TempDir dir_;
  SettingsStore store_;
};

ServerSettings Server(const wchar_t* address, int32_t port, bool useSSL, int32_t priority,
                      bool enforced) {
  ServerSettings server;
  server.address = address;
  server.port = port;
  server.useSSL = useSSL;
  server.priority = priority;
  server.enforced = enforced;
  return server;
}

TEST_F(SettingsFileTest, FileWithOnlyAServerGivesTheAbsentKeyDefaults) {
  Settings verifying;
  verifying.tlsCaFile = L"ca.pem";
  verifying.tlsCaPath = L"certs";
  verifying.tlsVerifyHost = false;
  verifying.tlsPin = L"00";
  verifying.tlsClientCert = L"client.pem";
  verifying.tlsClientKey = L"client.key";
  store_.ApplySettings(verifying);
  Settings before = Live();
  ASSERT_TRUE(Load("<whatever><server>scan1</server></whatever>"));

  Settings expected = before;
  expected.servers = {Server(L"scan1", 7081, false, 0, false)};
  expected.enableScan = true;
  expected.scanLocalIfError = false;
  expected.timeout = 10000;
  expected.timeoutDisinfect = 60000;
  expected.compressionLevel = 0;
  expected.compressionMinBytes = -1;
  expected.connectAsync = true;
  expected.useCache = true;
  expected.useLocalCache = false;
  expected.disinfectOnly = true;
  expected.cleanSystem = true;
  expected.cacheNonPE = true;
  expected.hashNonPE = false;
  expected.hashSmallNonPE = true;
  expected.sendInitialBuffer = true;
  expected.initialBufferSize = 16384;
  expected.cachemissCountBuffsend = 5;
  expected.region = L"";
  expected.cacheTreshold = 0;
  expected.overloadedServerLimit = 5;
  expected.underloadedServerLimit = 5;
  expected.minServerConnections = 2;
  expected.maxServerConnections = 4;
  expected.acceptConnectSameServer = true;
  expected.reconnectInterval = 5;
  expected.extractOnServer = false;
  expected.maxSizeServerExtract = 5242880;
  expected.tlsCaFile = L"";
  expected.tlsCaPath = L"";
  expected.tlsVerifyHost = true;
  expected.tlsPin = L"";
  expected.tlsClientCert = L"";
  expected.tlsClientKey = L"";
  EXPECT_TRUE(Live() == expected);
  EXPECT_EQ(Live().timeout, 10000);
  EXPECT_EQ(Live().maxServerConnections, 4);
  EXPECT_TRUE(Live().enableScan);
}

TEST_F(SettingsFileTest, EveryKeyIsReadIntoItsField) {
  ASSERT_TRUE(
      Load("<r><server>s</server><timeout>1</timeout><timeoutdis>2</timeoutdis>"
           "<compressionlevel>3</compressionlevel><compressionminbytes>4</compressionminbytes>"
           "<connectasync>0</connectasync><usecache>0</usecache><uselocalcache>7</uselocalcache>"
           "<disinfectonly>0</disinfectonly><cleansystem>0</cleansystem><cachenonpe>0</cachenonpe>"
           "<hashnonpe>1</hashnonpe><hashsmallnonpe>0</hashsmallnonpe>"
           "<sendinitialbuffer>0</sendinitialbuffer><innitialbuffersize>5</innitialbuffersize>"
           "<cachemisscountbufsend>6</cachemisscountbufsend><region>r\xc3\xa9gion</region>"
           "<cachetreshold>8</cachetreshold><overloadedserverlimit>9</overloadedserverlimit>"
           "<underloadedserverlimit>10</underloadedserverlimit>"
           "<minserverconnections>11</minserverconnections>"
           "<maxserverconnections>12</maxserverconnections>"
           "<acceptconnectsameserver>0</acceptconnectsameserver>"
           "<reconnectInterval>13</reconnectInterval><scanlocaliferror>1</scanlocaliferror>"
           "<enablescan>0</enablescan><extractonserver>1</extractonserver>"
           "<maxsizeserverextract>14</maxsizeserverextract><tlscafile>/etc/ca.pem</tlscafile>"
           "<tlscapath>/etc/ssl/certs</tlscapath><tlsverifyhost>0</tlsverifyhost>"
           "<tlspin>0a1b</tlspin><tlsclientcert>c\xc3\xa9rt.pem</tlsclientcert>"
           "<tlsclientkey>key.pem</tlsclientkey></r>"));
  const Settings s = Live();
  EXPECT_EQ(s.timeout, 1);
  EXPECT_EQ(s.timeoutDisinfect, 2);
  EXPECT_EQ(s.compressionLevel, 3);
  EXPECT_EQ(s.compressionMinBytes, 4);
  EXPECT_FALSE(s.connectAsync);
  EXPECT_FALSE(s.useCache);
  EXPECT_TRUE(s.useLocalCache);
  EXPECT_FALSE(s.disinfectOnly);
  EXPECT_FALSE(s.cleanSystem);
  EXPECT_FALSE(s.cacheNonPE);
  EXPECT_TRUE(s.hashNonPE);
  EXPECT_FALSE(s.hashSmallNonPE);
  EXPECT_FALSE(s.sendInitialBuffer);
  EXPECT_EQ(s.initialBufferSize, 5);
  EXPECT_EQ(s.cachemissCountBuffsend, 6);
  EXPECT_EQ(s.region.View(), L"r\u00e9gion");
  EXPECT_EQ(store_.RegionUtf8(), "r\xc3\xa9gion");
  EXPECT_EQ(s.cacheTreshold, 8);
  EXPECT_EQ(s.overloadedServerLimit, 9);
  EXPECT_EQ(s.underloadedServerLimit, 10);
  EXPECT_EQ(s.minServerConnections, 11);
  EXPECT_EQ(s.maxServerConnections, 12);
  EXPECT_FALSE(s.acceptConnectSameServer);
  EXPECT_EQ(s.reconnectInterval, 13);
  EXPECT_TRUE(s.scanLocalIfError);
  EXPECT_FALSE(s.enableScan);
  EXPECT_TRUE(s.extractOnServer);
  EXPECT_EQ(s.maxSizeServerExtract, 14);
  EXPECT_EQ(s.tlsCaFile.View(), L"/etc/ca.pem");
  EXPECT_EQ(s.tlsCaPath.View(), L"/etc/ssl/certs");
  EXPECT_FALSE(s.tlsVerifyHost);
  EXPECT_EQ(s.tlsPin.View(), L"0a1b");
  EXPECT_EQ(s.tlsClientCert.View(), L"c\u00e9rt.pem");
  EXPECT_EQ(s.tlsClientKey.View(), L"key.pem");
}

TEST_F(SettingsFileTest, AServerOfTheListMayHaveAPinOfItsOwn) {
  ASSERT_TRUE(
      Load("<r><server>single</server><servers>"
           "<server><address>a</address><tlspin>aa:bb</tlspin></server>"
           "<server><address>b</address></server>"
           "</servers><tlspin>cc</tlspin></r>"));
  const Settings s = Live();
  ASSERT_EQ(s.servers.size(), 3u);
  EXPECT_TRUE(s.servers[0].tlsPin.IsEmpty()) << "the single server has no element for one";
  EXPECT_EQ(s.servers[1].tlsPin.View(), L"aa:bb");
  EXPECT_TRUE(s.servers[2].tlsPin.IsEmpty());
  EXPECT_EQ(s.tlsPin.View(), L"cc");
}

TEST_F(SettingsFileTest, RootPortTextsAreSharedAndUseSSLPicksOne) {
  Settings custom;
  custom.port = 1111;
  custom.portSSL = 2222;
  store_.ApplySettings(custom);
  ASSERT_TRUE(
      Load("<r><port>7081</port><portSSL>7443</portSSL><server>single</server><useSSL>1</useSSL>"
           "<servers>"
           "<server><address>a</address><useSSL>1</useSSL><port>9</port><priority>3</priority>"
           "<enforced>2</enforced></server>"
           "<server><address>b</address><portSSL>9</portSSL></server>"
           "</servers></r>"));
  const Settings s = Live();
  ASSERT_EQ(s.servers.size(), 3u);
  EXPECT_TRUE(s.servers[0] == Server(L"single", 7443, true, 0, false));
  EXPECT_TRUE(s.servers[1] == Server(L"a", 7443, true, 3, true));
  EXPECT_TRUE(s.servers[2] == Server(L"b", 7081, false, 0, false));
  EXPECT_EQ(s.port, 1111);
  EXPECT_EQ(s.portSSL, 2222);
}

TEST_F(SettingsFileTest, RootUseSSLGivesTheDefaultTlsPort) {
  ASSERT_TRUE(Load("<r><server>scan1</server><useSSL>1</useSSL></r>"));
  ASSERT_EQ(Live().servers.size(), 1u);
  EXPECT_TRUE(Live().servers[0] == Server(L"scan1", 7083, true, 0, false));
}

TEST_F(SettingsFileTest, ServersWithoutChildrenGiveAnEmptyList) {
  ASSERT_TRUE(Load("<r><server>old</server></r>"));
  ASSERT_TRUE(Load("<r><servers/></r>"));
  EXPECT_TRUE(Live().servers.empty());
  ASSERT_TRUE(Load("<r><servers><server><address/></server></servers></r>"));
  ASSERT_EQ(Live().servers.size(), 1u);
  EXPECT_TRUE(Live().servers[0].address.IsEmpty());
}

TEST_F(SettingsFileTest, FileLoadClearsNodeidsAndKeepsWhatTheFileNeverSets) {
  Settings custom;
  custom.servers = {Server(L"x", 1, false, 1, false)};
  custom.servers[0].nodeid = L"node-7";
  custom.detectLatency = true;
  custom.latencyTimeout = 20000;
  custom.preferLocalToOverloaded = true;
  custom.spareText1 = L"one";
  custom.spareText2 = L"two";
  store_.ApplySettings(custom);
  ASSERT_TRUE(Load("<r><server>x</server></r>"));
  const Settings s = Live();
  ASSERT_EQ(s.servers.size(), 1u);
  EXPECT_TRUE(s.servers[0].nodeid.IsEmpty());
  EXPECT_TRUE(s.detectLatency);
  EXPECT_EQ(s.latencyTimeout, 20000);
  EXPECT_TRUE(s.preferLocalToOverloaded);
  EXPECT_EQ(s.spareText1.View(), L"one");
  EXPECT_EQ(s.spareText2.View(), L"two");
}

TEST_F(SettingsFileTest, KeysAreExactAndTheFirstElementCounts) {
  struct Case {
    std::string elements;
    int32_t reconnectInterval;
    int32_t initialBufferSize;
    int32_t timeout;
  };
  const Case cases[] = {
      {"<reconnectInterval>7</reconnectInterval>", 7, 16384, 10000},
      {"<reconnectinterval>7</reconnectinterval><ReconnectInterval>8</ReconnectInterval>", 5, 16384,
       10000},
      {"<innitialbuffersize>1000</innitialbuffersize>", 5, 1000, 10000},
      {"<initialbuffersize>1000</initialbuffersize>", 5, 16384, 10000},
      {"<timeout>abc</timeout>", 5, 16384, 0},
      {"<timeout> 2500ms</timeout>", 5, 16384, 2500},
      {"<timeout/>", 5, 16384, 0},
      {"<timeout>-3</timeout><timeout>4</timeout>", 5, 16384, -3},
      {"<Timeout>4</Timeout>", 5, 16384, 10000},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Load("<r><server>s</server>" + c.elements + "</r>")) << c.elements;
    EXPECT_EQ(Live().reconnectInterval, c.reconnectInterval) << c.elements;
    EXPECT_EQ(Live().initialBufferSize, c.initialBufferSize) << c.elements;
    EXPECT_EQ(Live().timeout, c.timeout) << c.elements;
  }
}

TEST_F(SettingsFileTest, AFailedLoadChangesNothingAndSaysSo) {
  const std::pair<const char*, std::string> cases[] = {
      {"not XML", "<r><server>s</r>"},
      {"no element", "<?xml version=\"1.0\"?><!-- nothing -->"},
      {"empty", ""},
      {"no server", "<r><timeout>1</timeout><port>1</port></r>"},
      {"server without address",
       "<r><timeout>1</timeout><servers><server><address>a</address></server>"
       "<server><priority>1</priority></server></servers></r>"},
  };
  ASSERT_TRUE(Load("<r><server>keep</server><timeout>77</timeout></r>"));
  const Settings before = Live();
  for (const auto& [name, xml] : cases) {
    test::LogCapture capture;
    EXPECT_FALSE(Load(xml)) << name;
    EXPECT_TRUE(Live() == before) << name;
    EXPECT_EQ(capture.Messages(), std::vector<std::string>{kFailed}) << name;
  }
}

TEST_F(SettingsFileTest, MissingOrUnreadableFileFails) {
  const Settings before = Live();
  test::LogCapture capture;
  EXPECT_FALSE(store_.LoadFromFile(dir_.wide()));
  std::filesystem::create_directories(dir_.path() / "settings" / "qxcore.xml");
  EXPECT_FALSE(store_.LoadFromFile(dir_.wide()));
  EXPECT_TRUE(Live() == before);
  EXPECT_EQ(capture.Count(kFailed), 2u);
}

TEST_F(SettingsFileTest, WithoutALoggerNothingIsLogged) {
  SettingsStore quiet;
  dir_.Write("settings/qxcore.xml", "<r><server>s</server></r>");
  test::TempDir empty;
  test::LogCapture capture;
  EXPECT_TRUE(quiet.LoadFromFile(dir_.wide()));
  EXPECT_FALSE(quiet.LoadFromFile(empty.wide()));
  quiet.ApplySettings(Settings{});
  EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(SettingsFileTest, TheEnvironmentCanNameTheFile) {
  const std::filesystem::path named =
      dir_.Write("elsewhere/my settings.xml", "<r><server>named</server></r>");
  dir_.Write("settings/qxcore.xml", "<r><server>beside</server></r>");
  struct Case {
    const char* value;
    const wchar_t* server;  // null: the load fails
  };
  const std::string path = named.string();
  const std::string missing = (dir_.path() / "missing.xml").string();
  const Case cases[] = {
      {nullptr, L"beside"},        // unset: the search from the start directory
      {"", L"beside"},             // empty counts as unset
      {path.c_str(), L"named"},    // the named file, even where the search would find another
      {missing.c_str(), nullptr},  // a named file that is missing is not replaced by the search
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value != nullptr ? c.value : "(unset)");
    const test::ScopedEnv env(SONDREL_ENV_SETTINGS_FILE, c.value);
    SettingsStore store;
    EXPECT_EQ(store.LoadFromFile(dir_.wide()), c.server != nullptr);
    if (c.server != nullptr) {
      ASSERT_EQ(store.GetSettings().servers.size(), 1u);
      EXPECT_EQ(store.GetSettings().servers[0].address.View(), c.server);
    }
  }
}

TEST(LocateSettingsFileTest, SearchesTheStartDirectoryAndTwoAboveIt) {
  test::TempDir dir;
  std::filesystem::create_directories(dir.path() / "a" / "b" / "c");
  const std::wstring start = dir.wide() + L"a/b/c/";
  const std::wstring inStart = dir.wide() + L"a/b/c/settings/qxcore.xml";
  const std::pair<const char*, std::wstring> cases[] = {
      {"settings/qxcore.xml", inStart},  // four levels up: not searched
      {"a/settings/qxcore.xml", dir.wide() + L"a/settings/qxcore.xml"},
      {"a/b/settings/qxcore.xml", dir.wide() + L"a/b/settings/qxcore.xml"},
      {"a/b/c/settings/qxcore.xml", inStart},
  };
  for (const auto& [file, expected] : cases) {
    dir.Write(file, "<r/>");
    EXPECT_EQ(LocateSettingsFile(start), expected) << file;
  }
  EXPECT_EQ(LocateSettingsFile(dir.wide() + L"a/b/c"), inStart);
}

}  // namespace
}  // namespace sondrel
