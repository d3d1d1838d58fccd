// The probe run as a function against fake scan servers: the report, the best server and the exit
// code.
#include "tools/probe/probe.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/fake_server/fake_server.h"
#include "support/fake_server/server_frames.h"
#include "support/fake_server/session_script.h"
#include "support/temp_dir.h"

namespace sondrel::probe {
namespace {

using test::FakeConnection;
using test::FakeServer;
using test::FakeServerOptions;

constexpr std::array<uint8_t, 16> kFirstId = {0x11, 0x11, 0x11, 0x11, 0x22, 0x22, 0x33, 0x33,
                                              0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55};
constexpr std::array<uint8_t, 16> kSecondId = {0xaa, 0xaa, 0xaa, 0xaa, 0xbb, 0xbb, 0xcc, 0xcc,
                                               0xdd, 0xdd, 0xee, 0xee, 0xee, 0xee, 0xee, 0xee};

std::unique_ptr<FakeServer> ServerWithId(const std::array<uint8_t, 16>& id,
                                         const std::string& address, uint16_t minor = 1,
                                         bool tls = false) {
  test::SessionScript script;
  script.runningData = test::RunningServerData(24, id, 3, minor);
  FakeServerOptions options;
  options.address = address;
  options.tls = tls;
  return std::make_unique<FakeServer>(
      [script](FakeConnection& connection) { test::ServeSession(connection, script); }, options);
}

struct ProbeRun {
  int exitCode;
  std::string out;
  std::string err;
};

ProbeRun Probe(const std::vector<std::string>& arguments) {
  std::ostringstream out;
  std::ostringstream err;
  const int exitCode = RunProbe(arguments, out, err);
  return {exitCode, out.str(), err.str()};
}

// The session objects of a JSON report, without their braces.
std::vector<std::string> SessionObjects(const std::string& report) {
  const std::string prefix = "{\"sessions\":[{";
  const std::string suffix = "}]}\n";
  if (report.rfind(prefix, 0) != 0 || report.size() < prefix.size() + suffix.size() ||
      report.compare(report.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return {};
  }
  const std::string body =
      report.substr(prefix.size(), report.size() - prefix.size() - suffix.size());
  std::vector<std::string> objects;
  size_t start = 0;
  for (size_t end = body.find("},{"); end != std::string::npos; end = body.find("},{", start)) {
    objects.push_back(body.substr(start, end - start));
    start = end + 3;
  }
  objects.push_back(body.substr(start));
  return objects;
}

// The value text of `key` in a session object (no value holds a comma).
std::string FieldOf(const std::string& object, const std::string& key) {
  const std::string marker = "\"" + key + "\":";
  const size_t start = object.find(marker);
  if (start == std::string::npos) {
    return "<missing>";
  }
  const size_t valueStart = start + marker.size();
  return object.substr(valueStart, object.find(',', valueStart) - valueStart);
}

std::string ServerArgument(const FakeServer& server, int priority) {
  return server.endpoint().address().to_string() + ":" + std::to_string(server.port()) + "@" +
         std::to_string(priority);
}

TEST(ProbeTest, ReportsEverySessionAndTheBestAsJson) {
  auto first = ServerWithId(kFirstId, "127.0.0.1");
  auto second = ServerWithId(kSecondId, "127.0.0.2", 7);
  const ProbeRun run = Probe({"--server", ServerArgument(*first, 2), "--server",
                              ServerArgument(*second, 1), "--seconds", "1", "--json"});
  EXPECT_EQ(run.exitCode, kUsable);
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> sessions = SessionObjects(run.out);
  ASSERT_EQ(sessions.size(), 2u) << run.out;
  // Pool order: the preferred server first.
  const std::vector<std::pair<std::string, std::string>> expected[] = {
      {{"host", "\"127.0.0.2\""},
       {"port", std::to_string(second->port())},
       {"tls", "false"},
       {"verified", "false"},
       {"state", "\"Server_Normal\""},
       {"server_id", "\"aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee\""},
       {"version", "\"3.7\""},
       {"slow_pings", "0"},
       {"best", "true"}},
      {{"host", "\"127.0.0.1\""},
       {"port", std::to_string(first->port())},
       {"tls", "false"},
       {"verified", "false"},
       {"state", "\"Server_Normal\""},
       {"server_id", "\"11111111-2222-3333-4444-555555555555\""},
       {"version", "\"3.1\""},
       {"slow_pings", "0"},
       {"best", "false"}},
  };
  for (size_t i = 0; i < sessions.size(); ++i) {
    SCOPED_TRACE(sessions[i]);
    for (const auto& [key, value] : expected[i]) {
      EXPECT_EQ(FieldOf(sessions[i], key), value) << key;
    }
    const std::string latency = FieldOf(sessions[i], "latency_us");
    EXPECT_FALSE(latency.empty());
    EXPECT_EQ(latency.find_first_not_of("0123456789"), std::string::npos) << latency;
  }
}

TEST(ProbeTest, ReadsTheServersOfASettingsFileAndPrintsATable) {
  auto first = ServerWithId(kFirstId, "127.0.0.1");
  auto second = ServerWithId(kSecondId, "127.0.0.2");
  test::TempDir directory;
  const auto path = directory.path() / "qxcore.xml";
  // Every server of a settings file uses the file's port.
  std::ofstream(path) << "<settings><port>" << first->port()
                      << "</port><servers><server><address>127.0.0.1</address>"
                      << "<priority>3</priority></server></servers></settings>";
  const ProbeRun run = Probe(
      {"--settings", path.string(), "--server", ServerArgument(*second, 4), "--seconds", "1"});
  EXPECT_EQ(run.exitCode, kUsable);
  std::istringstream lines(run.out);
  std::string header;
  std::string best;
  std::string other;
  std::getline(lines, header);
  std::getline(lines, best);
  std::getline(lines, other);
  EXPECT_EQ(header.rfind("best  server", 0), 0u) << run.out;
  EXPECT_EQ(best.rfind("*     127.0.0.1:" + std::to_string(first->port()), 0), 0u) << run.out;
  EXPECT_NE(best.find("Server_Normal"), std::string::npos);
  EXPECT_NE(best.find("11111111-2222-3333-4444-555555555555"), std::string::npos);
  EXPECT_EQ(other.rfind("      127.0.0.2:" + std::to_string(second->port()), 0), 0u) << run.out;
}

TEST(ProbeTest, ShowsWhetherATlsServerWasVerified) {
  auto server = ServerWithId(kFirstId, "127.0.0.1", 1, /*tls=*/true);
  for (const bool pinned : {true, false}) {
    SCOPED_TRACE(pinned ? "pinned" : "nothing configured");
    test::TempDir directory;
    const auto path = directory.path() / "qxcore.xml";
    std::ofstream(path) << "<settings><portSSL>" << server->port() << "</portSSL>"
                        << (pinned ? "<tlspin>" + server->certificatePin() + "</tlspin>" : "")
                        << "<servers><server><address>127.0.0.1</address><useSSL>1</useSSL>"
                        << "</server></servers></settings>";
    const ProbeRun run = Probe({"--settings", path.string(), "--seconds", "1", "--json"});
    EXPECT_EQ(run.exitCode, kUsable) << run.err;
    const std::vector<std::string> sessions = SessionObjects(run.out);
    ASSERT_FALSE(sessions.empty()) << run.out;
    for (const std::string& session : sessions) {
      EXPECT_EQ(FieldOf(session, "tls"), "true") << session;
      EXPECT_EQ(FieldOf(session, "verified"), pinned ? "true" : "false") << session;
    }
  }
}

TEST(ProbeTest, NoReachableServerExitsWithOne) {
  uint16_t port = 0;
  {
    const FakeServer closed([](FakeConnection&) {});
    port = closed.port();
  }
  const ProbeRun json =
      Probe({"--server", "127.0.0.1:" + std::to_string(port), "--seconds", "0", "--json"});
  EXPECT_EQ(json.exitCode, kNoneUsable);
  EXPECT_EQ(json.out, "{\"sessions\":[]}\n");
  const ProbeRun text = Probe({"--server", "127.0.0.1:" + std::to_string(port), "--seconds", "0"});
  EXPECT_EQ(text.exitCode, kNoneUsable);
  EXPECT_EQ(text.out, "no sessions\n");
}

TEST(ProbeTest, UsageErrorsExitWithTwoAndPrintTheUsage) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--bogus"}, std::vector<std::string>{},
        std::vector<std::string>{"--settings", "/nonexistent/qxcore.xml"}}) {
    const ProbeRun run = Probe(arguments);
    EXPECT_EQ(run.exitCode, kUsageError);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("sondrel-probe: ", 0), 0u) << run.err;
  }
  EXPECT_NE(Probe({"--bogus"}).err.find("usage: sondrel-probe"), std::string::npos);
  const ProbeRun help = Probe({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("usage: sondrel-probe", 0), 0u);
}

}  // namespace
}  // namespace sondrel::probe
