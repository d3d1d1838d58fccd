// What goes wrong during the soak, chosen at random from a seed: connections cut in the middle of
// a message, bytes delayed or stalled (some stalls last longer than a scan may wait), servers
// killed (SIGKILL) or stopped (SIGTERM) and started again after a while. At least one server
// keeps running while the faults go on.
#pragma once

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "soak/soak_servers.h"

namespace sondrel::test {

struct FaultCounts {
  uint64_t cutsAsked = 0;
  uint64_t delays = 0;
  uint64_t stalls = 0;
  uint64_t kills = 0;
  uint64_t terminations = 0;

  uint64_t total() const { return cutsAsked + delays + stalls + kills + terminations; }
};

class FaultDriver {
 public:
  using Clock = std::chrono::steady_clock;

  // `scanTimeout`: how long the library waits for an answer, which the longest stalls exceed.
  FaultDriver(SoakServers& servers, uint32_t seed, std::chrono::milliseconds scanTimeout);

  // Injects faults until `until`; false, with the reason in `error`, when a server would not start
  // again.
  bool Run(Clock::time_point until, std::string& error);
  // Ends every fault: the proxies pass everything on at once and every stopped server starts.
  bool Heal(std::string& error);

  const FaultCounts& counts() const { return counts_; }

 private:
  std::chrono::milliseconds Between(int64_t low, int64_t high);
  size_t AnyServer();
  bool RestartOne(Clock::time_point now, bool overdueOnly, std::string& error);
  void StopOne(Clock::time_point now);

  SoakServers& servers_;
  std::mt19937 random_;
  const std::chrono::milliseconds scanTimeout_;
  std::vector<Clock::time_point> stoppedAt_;
  FaultCounts counts_;
};

}  // namespace sondrel::test
