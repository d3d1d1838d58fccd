// The two monitor companions we ship, each installed beside a host program that keeps running
// (sondrel-test-host, with the library beside it, logging where its logger configuration says):
// Kalvix.so gives the client the settings of its own file and follows that file, and reports on
// its status socket what sondrel-probe --status prints; ostrel.so makes the client follow the
// settings file's server list, and an unusable edit of that file leaves the list as it was.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "platform/shell_command.h"
#include "sondrel/sondrel.h"
#include "support/fake_server/scanning_server.h"
#include "support/temp_dir.h"
#include "support/test_host/host_process.h"

namespace sondrel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;

constexpr int32_t kNotScanned = static_cast<int32_t>(SONDREL_STATUS_NOT_SCANNED);

class CompanionsE2eTest : public testing::Test {
 protected:
  // The host's directory: the library, the companion, a logger configuration writing every "qx"
  // line into host.log, and a file to scan.
  void Install(const char* companion) {
    fs::create_directories(bin());
    fs::copy_file(SONDREL_LIBRARY, bin() / "libsondrel.so");
    fs::copy_file(companion, bin() / fs::path(companion).filename());
    directory_.Write("bin/pellan-logger-cl.xml",
                     "<configuration>\n"
                     "  <category name=\"qx\"><priority value=\"debug\"/>"
                     "<appender-ref ref=\"file\"/></category>\n"
                     "  <appender name=\"file\"><param name=\"file\" value=\"" +
                         log().string() + "\"/></appender>\n</configuration>\n");
    directory_.Write("report.txt", "nothing to see here");
  }

  fs::path bin() const { return directory_.path() / "bin"; }
  fs::path log() const { return bin() / "host.log"; }
  fs::path file() const { return directory_.path() / "report.txt"; }

  // Writes a file at once, as an editor that saves through a new file does.
  void Replace(const fs::path& path, const std::string& content) const {
    const fs::path fresh = path.string() + ".new";
    std::ofstream(fresh) << content;
    fs::rename(fresh, path);
  }

  bool LogContains(const std::string& text) const {
    return ReadFile(log()).find(text) != std::string::npos;
  }

  // Scans until `done` holds for the outcome, for at most `limit`; the last outcome.
  HostProcess::ScanOutcome ScanUntil(
      HostProcess& host, const std::function<bool(const HostProcess::ScanOutcome&)>& done,
      std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    HostProcess::ScanOutcome outcome{-1, 0, 0};
    while (std::chrono::steady_clock::now() < deadline) {
      const auto scanned = host.Scan();
      if (scanned) {
        outcome = *scanned;
        if (done(outcome)) {
          break;
        }
      }
      std::this_thread::sleep_for(100ms);
    }
    return outcome;
  }

  struct ProbeRun {
    int exitCode;
    std::string output;
  };

  ProbeRun Probe(const std::string& arguments) const {
    const fs::path output = directory_.path() / "probe.txt";
    const int exitCode = platform::RunShellCommand("'" SONDREL_PROBE_PROGRAM "' " + arguments +
                                                   " > '" + output.string() + "' 2>&1");
    return {exitCode, ReadFile(output)};
  }

  TempDir directory_;
};

// Kalvix.json for one server, with the pool settings a quick test wants.
std::string KalvixFile(const ScanningServer& server, const std::string& extra = "") {
  return R"({"statusSocket": "status.sock", "settings": {"enableScan": true,
    "useLocalCache": false, "timeout": 5000, "minServerConnections": 1,
    "reconnectInterval": 1, "connectAsync": false)" +
         extra + R"(, "servers": [{"address": "127.0.0.1", "port": )" +
         std::to_string(server.port()) + "}]}}";
}

bool Scanned(const HostProcess::ScanOutcome& outcome) {
  return outcome.status == 0;
}

TEST_F(CompanionsE2eTest, KalvixSuppliesTheSettingsFollowsItsFileAndReportsTheClient) {
  ScanningServer named;
  ScanningServer next;
  ScanningServer ignored;
  Install(SONDREL_KALVIX);
  // The settings file is not read when the internal monitor is there.
  directory_.Write("bin/settings/qxcore.xml", "<qxcore><server>127.0.0.1</server><port>" +
                                                  std::to_string(ignored.port()) +
                                                  "</port></qxcore>");
  directory_.Write("bin/Kalvix.json", KalvixFile(named));
  HostProcess host(bin(), file());
  ASSERT_EQ(host.initResult(), 0);
  ASSERT_EQ(ScanUntil(host, Scanned).status, 0);
  EXPECT_GE(named.requests(), 1u);
  EXPECT_EQ(ignored.requests(), 0u);
  EXPECT_TRUE(LogContains("Registered to IInternalOstrel: true"));

  // The status socket, through sondrel-probe.
  const std::string socket = (bin() / "status.sock").string();
  EXPECT_EQ(fs::status(socket).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  const ProbeRun asJson = Probe("--status '" + socket + "' --json");
  ASSERT_EQ(asJson.exitCode, 0) << asJson.output;
  const json client = json::parse(asJson.output)["clients"][0];
  EXPECT_EQ(client["canScan"], true);
  EXPECT_EQ(client["canScanRemote"], true);
  ASSERT_EQ(client["connections"].size(), 1u);
  EXPECT_EQ(client["connections"][0]["address"], "127.0.0.1");
  EXPECT_EQ(client["connections"][0]["port"], named.port());
  EXPECT_EQ(client["connections"][0]["tls"], false);
  EXPECT_TRUE(client["lastAvailabilityEvent"]["time"].is_string());
  const ProbeRun asTable = Probe("--status '" + socket + "'");
  ASSERT_EQ(asTable.exitCode, 0) << asTable.output;
  EXPECT_NE(asTable.output.find("  can scan remote     yes\n"), std::string::npos)
      << asTable.output;
  EXPECT_NE(asTable.output.find("  127.0.0.1:" + std::to_string(named.port())), std::string::npos)
      << asTable.output;

  // A new server list in the file: requests move to the new server within a few seconds.
  Replace(bin() / "Kalvix.json", KalvixFile(next));
  const auto began = std::chrono::steady_clock::now();
  ScanUntil(host, [&](const auto& outcome) { return Scanned(outcome) && next.requests() > 0; });
  EXPECT_GE(next.requests(), 1u);
  EXPECT_LT(std::chrono::steady_clock::now() - began, 8s);
  EXPECT_TRUE(LogContains("Kalvix: settings of " + (bin() / "Kalvix.json").string() +
                          " handed to the client, result 0"));
  const size_t before = named.requests();
  ASSERT_EQ(ScanUntil(host, Scanned).status, 0);
  EXPECT_EQ(named.requests(), before);

  EXPECT_EQ(host.Quit(), 0);
  EXPECT_FALSE(fs::exists(socket));
  EXPECT_TRUE(LogContains("Unregistered from IInternalOstrel: true"));
}

TEST_F(CompanionsE2eTest, KalvixPrefersLocalScanningToTheOnlyServerWhenItIsOverloaded) {
  ScanningServer busy({.overloaded = true});
  Install(SONDREL_KALVIX);
  const std::string preferLocal = R"(, "scanLocalIfError": true, "preferLocalToOverloaded": true)";
  directory_.Write("bin/Kalvix.json", KalvixFile(busy, preferLocal));
  HostProcess host(bin(), file());
  ASSERT_EQ(host.initResult(), 0);
  // Before the server is connected requests stay local too; once it has said it is overloaded
  // they stay local for that reason, and the client says so.
  const std::string overloaded =
      "server is overloaded and we will scan locally: " + file().string();
  const HostProcess::ScanOutcome local =
      ScanUntil(host, [&](const auto&) { return LogContains(overloaded); });
  EXPECT_EQ(local.status, kNotScanned);
  EXPECT_EQ(local.flags, SONDREL_FLAG_SCAN_LOCALLY);
  EXPECT_EQ(busy.requests(), 0u);
  EXPECT_TRUE(LogContains("server is overloaded and we will scan locally: " + file().string()));

  // Without the preference the overloaded server still gets the request.
  Replace(bin() / "Kalvix.json", KalvixFile(busy, R"(, "scanLocalIfError": true)"));
  EXPECT_EQ(ScanUntil(host, Scanned).status, 0);
  EXPECT_GE(busy.requests(), 1u);
  EXPECT_EQ(host.Quit(), 0);
}

std::string SettingsFile(const ScanningServer& server) {
  return "<qxcore><server>127.0.0.1</server><port>" + std::to_string(server.port()) +
         "</port><timeout>5000</timeout><minserverconnections>1</minserverconnections>"
         "<reconnectInterval>1</reconnectInterval><uselocalcache>0</uselocalcache></qxcore>";
}

TEST_F(CompanionsE2eTest, OstrelMakesTheClientFollowTheSettingsFilesServerList) {
  ScanningServer first;
  ScanningServer second;
  Install(SONDREL_OSTREL);
  const fs::path settings = bin() / "settings" / "qxcore.xml";
  directory_.Write("bin/settings/qxcore.xml", SettingsFile(first));
  HostProcess host(bin(), file());
  ASSERT_EQ(host.initResult(), 0);
  ASSERT_EQ(ScanUntil(host, Scanned).status, 0);
  EXPECT_GE(first.requests(), 1u);
  EXPECT_TRUE(LogContains("Loaded Ostrel.dll: true"));
  EXPECT_TRUE(LogContains("ostrel: watching " + settings.string()));
  EXPECT_TRUE(LogContains("ostrel: remote scanning is available"));

  Replace(settings, SettingsFile(second));
  ScanUntil(host, [&](const auto& outcome) { return Scanned(outcome) && second.requests() > 0; });
  EXPECT_GE(second.requests(), 1u);
  EXPECT_TRUE(LogContains("CSondrel::ReloadScanServer end"));

  // An edit that cannot be read keeps the list the client has.
  const size_t onFirst = first.requests();
  const size_t onSecond = second.requests();
  std::this_thread::sleep_for(1100ms);  // the receiver reloads at most once a second
  Replace(settings, "<qxcore><server>127.0.0.1</server><port>");
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < deadline &&
         !LogContains("CSondrel::ReloadScanServer end : Cannot reload settings from xml")) {
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_TRUE(LogContains("CSondrel::ReloadScanServer end : Cannot reload settings from xml"));
  ASSERT_EQ(ScanUntil(host, Scanned).status, 0);
  EXPECT_GT(second.requests(), onSecond);
  EXPECT_EQ(first.requests(), onFirst);
  EXPECT_EQ(host.Quit(), 0);
}

}  // namespace
}  // namespace sondrel::test
