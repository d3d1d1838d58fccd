// The client library against the real sondrel-server, as a host uses them: verdicts from the
// engine, a large file pulled whole, the server cache, TLS, failover between two servers when one
// dies or is overloaded, a signature reload and an orderly stop while scans run, and the size
// limit that never yields a clean answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <future>
#include <thread>

#include "e2e/library_client.h"
#include "platform/shell_command.h"
#include "support/scan_server/hand_client.h"
#include "support/scan_server/server_process.h"
#include "support/temp_dir.h"

namespace sondrel::test {
namespace {

constexpr int32_t kClean = 1;
constexpr int32_t kInfected = 0x20;

// A gate a host read waits at until the test opens it.
class Gate {
 public:
  void Arrive() {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_ = true;
    changed_.notify_all();
    changed_.wait_for(lock, std::chrono::seconds(20), [this] { return open_; });
  }
  bool WaitArrival() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return arrived_; });
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool arrived_ = false;
  bool open_ = false;
};

std::string Repeated(size_t size, char c) {
  return std::string(size, c);
}

class ServerE2eTest : public testing::Test {
 protected:
  ServerProcess* StartServer(const std::string& name, std::vector<std::string> arguments,
                             std::vector<std::string> listen = {"127.0.0.1:0"},
                             std::vector<std::string> tlsListen = {}) {
    ServerProcessOptions options;
    options.listen = std::move(listen);
    options.tlsListen = std::move(tlsListen);
    options.metrics = true;
    options.arguments = std::move(arguments);
    if (std::find(options.arguments.begin(), options.arguments.end(), "--workers") ==
        options.arguments.end()) {
      options.arguments.insert(options.arguments.end(), {"--workers", "2"});
    }
    options.arguments.insert(options.arguments.end(), {"--log-level", "debug"});
    servers_.push_back(std::make_unique<ServerProcess>(SONDREL_SERVER_PROGRAM,
                                                       dir_.path() / (name + ".log"), options));
    EXPECT_TRUE(servers_.back()->ok()) << servers_.back()->Log();
    return servers_.back().get();
  }

  void TearDown() override {
    if (HasFailure()) {
      for (const auto& server : servers_) {
        std::cerr << "server log:\n" << server->Log();
      }
    }
  }

  TempDir dir_;
  std::vector<std::unique_ptr<ServerProcess>> servers_;
};

TEST_F(ServerE2eTest, VerdictsComeFromTheEngineAndDisinfectionCleansNothing) {
  auto server = StartServer("server", {});
  LibraryClient client({{}}, server->port());
  ASSERT_TRUE(client.Init());
  HostFile clean("a clean file, with nothing in it worth reporting\n");
  HostFile eicar(kEicar);
  HostFile hashed("sondrel test file: detected by its hash\n");

  ScanOutcome outcome = client.Scan(clean, "clean.txt");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.verdict, kClean);
  outcome = client.Scan(eicar, "eicar.com");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.verdict, kInfected);
  EXPECT_EQ(outcome.threat.rfind("Sondrel.Test.EICAR", 0), 0u) << outcome.threat;
  outcome = client.Scan(hashed, "hashed.bin");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.verdict, kInfected);
  EXPECT_EQ(outcome.threat.rfind("Sondrel.Test.Hash", 0), 0u) << outcome.threat;

  outcome = client.Disinfect(eicar, "eicar.com");
  EXPECT_EQ(outcome.status, 1008) << "detected, not disinfected";
  EXPECT_EQ(outcome.verdict, kInfected);
  EXPECT_EQ(eicar.content(), kEicar);
  outcome = client.Disinfect(clean, "clean.txt");
  EXPECT_EQ(outcome.status, 0);

  ASSERT_TRUE(server->WaitForLog("INFO scan ", 5));
  const std::vector<std::string> lines = server->ScanLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(ScanField(lines[1], "name"), "eicar.com");
  EXPECT_EQ(ScanField(lines[1], "outcome"), "infected");
  EXPECT_EQ(ScanField(lines[1], "size"), "68");
  EXPECT_EQ(ScanField(lines[3], "outcome"), "infected");
  EXPECT_EQ(ScanField(lines[3], "status"), "1008");
}

TEST_F(ServerE2eTest, AFiftyMebibyteFileIsPulledWhole) {
  auto server = StartServer("server", {});
  LibraryClient client({{}}, server->port(), "<sendinitialbuffer>0</sendinitialbuffer>");
  ASSERT_TRUE(client.Init());
  std::string content = Repeated(50u << 20, 'a');
  content.replace(content.size() - std::strlen(kEicar), std::strlen(kEicar), kEicar);
  HostFile file(std::move(content));
  const ScanOutcome outcome = client.Scan(file, "large.bin");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.verdict, kInfected) << "the threat sits in the last bytes";
  ASSERT_TRUE(server->WaitForLog("INFO scan "));
  const std::string line = server->ScanLines().at(0);
  EXPECT_EQ(ScanField(line, "pulled"), std::to_string(50u << 20)) << line;
  EXPECT_EQ(ScanField(line, "reads"), "50") << "one read request per mebibyte block";
  EXPECT_EQ(server->Metric("sondrel_bytes_pulled_total"), 50u << 20);
}

TEST_F(ServerE2eTest, ARescanIsAnsweredFromTheServerCacheWithoutReadRequests) {
  auto server = StartServer("server", {});
  LibraryClient client({{}}, server->port());
  ASSERT_TRUE(client.Init());
  HostFile file(Repeated(40000, 'c'));
  EXPECT_EQ(client.Scan(file, "small.bin").verdict, kClean);
  const ScanOutcome again = client.Scan(file, "small.bin");
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.verdict, kClean);
  ASSERT_TRUE(server->WaitForLog("INFO scan ", 2));
  const std::vector<std::string> lines = server->ScanLines();
  EXPECT_EQ(ScanField(lines[0], "outcome"), "clean");
  EXPECT_EQ(ScanField(lines[1], "outcome"), "cache-hit");
  EXPECT_EQ(ScanField(lines[1], "reads"), "0");
  EXPECT_EQ(server->Metric("sondrel_cache_hits_total"), 1);
  EXPECT_EQ(server->Metric("sondrel_read_requests_total"), 1) << "only the first scan read";
}

TEST_F(ServerE2eTest, ScansOverTls) {
  const auto key = dir_.path() / "key.pem";
  const auto certificate = dir_.path() / "certificate.pem";
  ASSERT_EQ(platform::RunShellCommand(
                "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 "
                "-subj /CN=sondrel-test -keyout '" +
                key.string() + "' -out '" + certificate.string() + "' 2>/dev/null"),
            0);
  auto server =
      StartServer("server", {"--tls-cert", certificate.string(), "--tls-key", key.string()}, {},
                  {"127.0.0.1:0"});
  LibraryClient client({{}}, server->tlsPort(), "", /*tls=*/true);
  ASSERT_TRUE(client.Init());
  HostFile eicar(kEicar + Repeated(200000, ' '));
  const ScanOutcome outcome = client.Scan(eicar, "eicar.com");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.verdict, kInfected);
}

TEST_F(ServerE2eTest, AScanMovesToTheOtherServerWhenItsServerDies) {
  auto first = StartServer("first", {});
  auto second = StartServer("second", {}, {"127.0.0.2:" + std::to_string(first->port())});
  LibraryClient client({{"127.0.0.1", 0}, {"127.0.0.2", 1}}, first->port(),
                       "<usecache>0</usecache><sendinitialbuffer>0</sendinitialbuffer>");
  ASSERT_TRUE(client.Init());
  ASSERT_TRUE(first->WaitForLog("connection from"));
  ASSERT_TRUE(second->WaitForLog("connection from"));
  HostFile file(Repeated(3u << 20, 'd'));
  Gate gate;
  file.OnRead([&gate, first = true](uint64_t) mutable {
    if (first) {
      first = false;
      gate.Arrive();
    }
  });
  auto scan = std::async(std::launch::async, [&] { return client.Scan(file, "moving.bin"); });
  ASSERT_TRUE(gate.WaitArrival()) << "the first server asked for the file";
  ASSERT_TRUE(first->Signal(SIGKILL));
  EXPECT_EQ(first->Wait(std::chrono::seconds(5)), 128 + SIGKILL);
  gate.Open();
  const ScanOutcome outcome = scan.get();
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.verdict, kClean);
  ASSERT_TRUE(second->WaitForLog("INFO scan "));
  const std::string line = second->ScanLines().at(0);
  EXPECT_EQ(ScanField(line, "name"), "moving.bin");
  EXPECT_EQ(ScanField(line, "pulled"), std::to_string(3u << 20));
}

TEST_F(ServerE2eTest, RequestsGoToTheOtherServerWhileOneIsOverloaded) {
  auto first = StartServer("first", {"--workers", "1", "--queue-size", "4"});
  auto second = StartServer("second", {}, {"127.0.0.2:" + std::to_string(first->port())});
  LibraryClient client({{"127.0.0.1", 0}, {"127.0.0.2", 1}}, first->port(),
                       "<usecache>0</usecache>");
  ASSERT_TRUE(client.Init());
  HostFile file(Repeated(1000, 'e'));
  EXPECT_EQ(client.Scan(file, "before.bin").verdict, kClean);
  ASSERT_TRUE(first->WaitForLog("name=\"before.bin\""));

  // Another client keeps the first server's worker and queue busy with scans it never feeds.
  HandClient hog;
  ASSERT_TRUE(hog.Connect(first->port()));
  HandScanRequest fields;
  fields.fileSize = 100000;
  for (uint32_t seq = 1; seq <= 4; ++seq) {
    ASSERT_TRUE(hog.Send(ScanRequestFrame(fields, 0, seq, 60000)));
  }
  ASSERT_TRUE(first->WaitForLog("load flags now 4"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  for (int i = 0; i < 3; ++i) {
    const ScanOutcome outcome = client.Scan(file, "during.bin");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.verdict, kClean);
  }
  ASSERT_TRUE(second->WaitForLog("name=\"during.bin\"", 3));
  EXPECT_EQ(first->Log().find("name=\"during.bin\""), std::string::npos);
}

TEST_F(ServerE2eTest, SighupLoadsANewSignatureThatTheNextScanFinds) {
  const auto databases = dir_.path() / "databases";
  std::filesystem::create_directories(databases);
  std::filesystem::copy_file(std::filesystem::path(SONDREL_SERVER_SIGNATURES) / "sondrel-test.ndb",
                             databases / "sondrel-test.ndb");
  auto server = StartServer("server", {"--database", databases.string()});
  LibraryClient client({{}}, server->port());
  ASSERT_TRUE(client.Init());
  const std::string marker = "a sample that only a later signature knows";
  HostFile file(marker + "\n");
  EXPECT_EQ(client.Scan(file, "sample.txt").verdict, kClean);

  std::string hex;
  for (const unsigned char c : marker) {
    char digits[3];
    std::snprintf(digits, sizeof(digits), "%02x", c);
    hex += digits;
  }
  std::ofstream(databases / "later.ndb") << "Sondrel.Test.Later:0:*:" << hex << "\n";
  ASSERT_TRUE(server->Signal(SIGHUP));
  ASSERT_TRUE(server->WaitForLog("signatures reloaded"));
  const ScanOutcome outcome = client.Scan(file, "sample.txt");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.verdict, kInfected) << "the cache was emptied with the reload";
  EXPECT_EQ(outcome.threat.rfind("Sondrel.Test.Later", 0), 0u);

  std::ofstream(databases / "broken.ndb") << "not a signature\n";
  ASSERT_TRUE(server->Signal(SIGHUP));
  ASSERT_TRUE(server->WaitForLog("reload failed"));
  EXPECT_EQ(client.Scan(file, "sample.txt").verdict, kInfected) << "the old signatures stay";
}

TEST_F(ServerE2eTest, SigtermLetsRunningScansFinishAndExitsZero) {
  auto server = StartServer("server", {"--shutdown-timeout", "10"});
  LibraryClient client({{}}, server->port(),
                       "<usecache>0</usecache><sendinitialbuffer>0</sendinitialbuffer>");
  ASSERT_TRUE(client.Init());
  HostFile file(Repeated(2u << 20, 'f'));
  Gate gate;
  file.OnRead([&gate, first = true](uint64_t) mutable {
    if (first) {
      first = false;
      gate.Arrive();
    }
  });
  auto scan = std::async(std::launch::async, [&] { return client.Scan(file, "running.bin"); });
  ASSERT_TRUE(gate.WaitArrival());
  ASSERT_TRUE(server->Signal(SIGTERM));
  ASSERT_TRUE(server->WaitForLog("shutting down"));
  gate.Open();
  const ScanOutcome outcome = scan.get();
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.verdict, kClean);
  EXPECT_EQ(server->Wait(std::chrono::seconds(15)), 0);
  EXPECT_NE(server->Log().find("outcome=clean"), std::string::npos);
}

TEST_F(ServerE2eTest, AFileAboveTheSizeLimitIsNeverAnsweredClean) {
  auto server = StartServer("server", {"--max-file-size", "1M"});
  LibraryClient client({{}}, server->port());
  ASSERT_TRUE(client.Init());
  HostFile large(Repeated((1u << 20) + 1, 'g'));
  const ScanOutcome outcome = client.Scan(large, "large.bin");
  EXPECT_EQ(outcome.status, 1003);
  HostFile limit(Repeated(1u << 20, 'g'));
  EXPECT_EQ(client.Scan(limit, "limit.bin").status, 0) << "the limit itself is scanned";
  ASSERT_TRUE(server->WaitForLog("INFO scan ", 2));
  EXPECT_EQ(ScanField(server->ScanLines().at(0), "outcome"), "too-large");
  EXPECT_EQ(ScanField(server->ScanLines().at(0), "reads"), "0");
}

}  // namespace
}  // namespace sondrel::test
