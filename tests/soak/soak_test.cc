// The fault soak: three real scan servers, each behind a proxy that cuts, delays and stalls its
// bytes, killed and started again at random moments, while eight host threads scan clean and
// infected files through the library's six exports. However the faults fall, no request may
// outlast its time-outs, no infected file may come back clean, and once the faults stop every
// request must be answered again within two reconnect intervals.
//
//   SONDREL_SOAK_SECONDS  length of the run (default 300)
//   SONDREL_SOAK_SEED     the seed of the faults and of the hosts' choices (default: random)
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <thread>

#include "platform/environment.h"
#include "soak/fault_driver.h"
#include "soak/library_exports.h"
#include "soak/soak_corpus.h"
#include "soak/soak_hosts.h"
#include "soak/soak_servers.h"
#include "support/temp_dir.h"

namespace sondrel::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kDefaultLength = 300s;
constexpr size_t kHostThreads = 8;
constexpr auto kScanTimeout = 3000ms;
constexpr auto kReconnectInterval = 2s;
// A request whose session is lost may be sent once more, to another session, with a wait of its
// own; beyond the two waits it only needs the time to read its file and check the reply.
constexpr auto kRequestBound = 2 * kScanTimeout + 1500ms;
// After the faults stop: the two reconnect intervals, then this long in which every request must
// be answered.
constexpr auto kRecoveredRun = 8s;

uint64_t FromEnvironment(const char* name, uint64_t fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::strtoull(value, nullptr, 10) : fallback;
}

std::string SettingsFile(uint16_t port) {
  std::string servers;
  for (size_t i = 0; i < SoakServers::kCount; ++i) {
    servers += "<server><address>" + SoakServers::Address(i) + "</address></server>";
  }
  return "<qxcore><port>" + std::to_string(port) + "</port><servers>" + servers +
         "</servers><timeout>" + std::to_string(kScanTimeout.count()) + "</timeout><timeoutdis>" +
         std::to_string(kScanTimeout.count()) + "</timeoutdis><reconnectInterval>" +
         std::to_string(kReconnectInterval.count()) +
         "</reconnectInterval><minserverconnections>3</minserverconnections>"
         "<maxserverconnections>3</maxserverconnections><uselocalcache>0</uselocalcache>"
         "</qxcore>";
}

// The client object from CoreNew, shut down and freed when the test ends, however it ends.
class Client {
 public:
  explicit Client(const LibraryExports& library) : library_(library), object_(library.coreNew()) {}
  ~Client() {
    if (object_ != nullptr) {
      library_.coreUninit(object_, nullptr, SONDREL_UNINIT_FINAL);
      library_.coreFree(object_);
    }
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  SondrelObject* get() const { return object_; }

 private:
  const LibraryExports& library_;
  SondrelObject* const object_;
};

double Seconds(Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

TEST(FaultSoak, FaultsNeverTurnIntoAWrongVerdictAndTheClientRecovers) {
  const std::chrono::seconds length(
      FromEnvironment("SONDREL_SOAK_SECONDS", kDefaultLength.count()));
  const auto seed =
      static_cast<uint32_t>(FromEnvironment("SONDREL_SOAK_SEED", std::random_device{}()));
  const Clock::duration faultTime = length - 2 * kReconnectInterval - kRecoveredRun;
  ASSERT_GT(faultTime, 0s) << "SONDREL_SOAK_SECONDS is too short";
  std::cout << "soak: seed " << seed << " (SONDREL_SOAK_SEED), " << length.count() << " s, "
            << Seconds(faultTime) << " s of them with faults" << std::endl;

  TempDir dir;
  SoakServers servers(SONDREL_SERVER_PROGRAM, SONDREL_SERVER_SIGNATURES, dir.path());
  for (size_t i = 0; i < SoakServers::kCount; ++i) {
    std::string error;
    ASSERT_TRUE(servers.Start(i, error)) << error;
  }
  std::ofstream(dir.path() / "qxcore.xml") << SettingsFile(servers.port());
  platform::SetEnvironment(SONDREL_ENV_SETTINGS_FILE, (dir.path() / "qxcore.xml").string());
  platform::SetEnvironment(SONDREL_ENV_LOG_CONFIG_DIR, dir.path().string());

  const std::vector<CorpusFile> corpus = MakeCorpus();
  LibraryExports library(SONDREL_LIBRARY);
  ASSERT_TRUE(library.ok()) << library.error();
  Client client(library);
  ASSERT_NE(client.get(), nullptr);
  SoakHosts hosts(library, client.get(), corpus, seed, kRequestBound);
  const Clock::time_point begun = Clock::now();
  hosts.Start(kHostThreads, dir.path().string());

  FaultDriver driver(servers, seed, kScanTimeout);
  std::string error;
  const bool ran = driver.Run(begun + faultTime, error) && driver.Heal(error);
  const Clock::time_point healed = Clock::now();
  hosts.ExpectRecoveredFrom(healed + 2 * kReconnectInterval);
  std::this_thread::sleep_until(
      std::max(begun + length, healed + 2 * kReconnectInterval + kRecoveredRun));
  const SoakTally tally = hosts.Stop();
  ASSERT_TRUE(ran) << error;

  const FaultCounts& faults = driver.counts();
  uint64_t cuts = 0;
  for (size_t i = 0; i < SoakServers::kCount; ++i) {
    cuts += servers.proxy(i).cuts();
  }
  std::cout << "soak: faults injected " << faults.total() << ": cuts " << faults.cutsAsked
            << " (made mid-message " << cuts << "), delays " << faults.delays << ", stalls "
            << faults.stalls << ", kills " << faults.kills << ", SIGTERM stops "
            << faults.terminations << "; restarts " << servers.restarts() << "\n"
            << "soak: " << tally << "\n"
            << "soak: the last unanswered request began " << Seconds(tally.lastUnanswered - healed)
            << " s after the faults stopped (negative: before)" << std::endl;
  for (const std::string& note : tally.notes) {
    std::cout << "soak: " << note << "\n";
  }

  EXPECT_EQ(tally.initFailures, 0u);
  EXPECT_GT(tally.answered, 0u);
  EXPECT_GT(tally.infectedDetected, 0u);
  EXPECT_EQ(tally.reportedClean, 0u) << "infected files reported clean";
  EXPECT_EQ(tally.wrongVerdicts, 0u);
  EXPECT_EQ(tally.overdue, 0u) << "requests that took longer than " << kRequestBound.count()
                               << " ms";
  EXPECT_GT(tally.afterRecovery, 0u);
  EXPECT_EQ(tally.failedAfterRecovery, 0u)
      << "requests not answered two reconnect intervals after the faults stopped";
  if (HasFailure()) {
    std::cout << servers.LogTails() << std::endl;
  }
  servers.StopAll(SIGTERM);
  for (const std::string& problem : servers.problems()) {
    ADD_FAILURE() << problem;
  }
  if (HasFailure()) {
    // The library's and the servers' logs, kept in the test's working directory.
    const std::filesystem::path kept = std::filesystem::absolute("soak-logs");
    std::filesystem::remove_all(kept);
    std::filesystem::copy(dir.path(), kept, std::filesystem::copy_options::recursive);
    std::cout << "soak: logs kept in " << kept << std::endl;
  }
}

}  // namespace
}  // namespace sondrel::test
