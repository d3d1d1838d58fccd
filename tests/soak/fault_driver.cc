#include "soak/fault_driver.h"

#include <csignal>
#include <thread>

namespace sondrel::test {
namespace {

// A stopped server comes back after this long at the latest.
constexpr auto kLongestDowntime = std::chrono::seconds(5);
// And not before this.
constexpr auto kShortestDowntime = std::chrono::milliseconds(500);

}  // namespace

FaultDriver::FaultDriver(SoakServers& servers, uint32_t seed, std::chrono::milliseconds scanTimeout)
    : servers_(servers),
      random_(seed),
      scanTimeout_(scanTimeout),
      stoppedAt_(SoakServers::kCount) {}

std::chrono::milliseconds FaultDriver::Between(int64_t low, int64_t high) {
  return std::chrono::milliseconds(std::uniform_int_distribution<int64_t>(low, high)(random_));
}

size_t FaultDriver::AnyServer() {
  return std::uniform_int_distribution<size_t>(0, SoakServers::kCount - 1)(random_);
}

bool FaultDriver::Run(Clock::time_point until, std::string& error) {
  while (Clock::now() < until) {
    std::this_thread::sleep_for(std::min<Clock::duration>(Between(100, 800), until - Clock::now()));
    const Clock::time_point now = Clock::now();
    if (!RestartOne(now, true, error)) {
      return false;
    }
    const int action = std::uniform_int_distribution<int>(0, 99)(random_);
    if (action < 30) {
      servers_.proxy(AnyServer()).Cut(static_cast<uint32_t>(random_()));
      ++counts_.cutsAsked;
    } else if (action < 45) {
      servers_.proxy(AnyServer()).Delay(Between(20, 300), Between(500, 3000));
      ++counts_.delays;
    } else if (action < 60) {
      servers_.proxy(AnyServer()).Stall(Between(300, scanTimeout_.count() + 1500));
      ++counts_.stalls;
    } else if (action < 80) {
      StopOne(now);
    } else if (!RestartOne(now, false, error)) {
      return false;
    }
  }
  return true;
}

void FaultDriver::StopOne(Clock::time_point now) {
  if (servers_.runningCount() < 2) {
    return;
  }
  size_t index = AnyServer();
  while (!servers_.running(index)) {
    index = (index + 1) % SoakServers::kCount;
  }
  const bool kill = std::uniform_int_distribution<int>(0, 2)(random_) != 0;
  servers_.Stop(index, kill ? SIGKILL : SIGTERM);
  ++(kill ? counts_.kills : counts_.terminations);
  stoppedAt_[index] = now;
}

bool FaultDriver::RestartOne(Clock::time_point now, bool overdueOnly, std::string& error) {
  for (size_t index = 0; index < SoakServers::kCount; ++index) {
    const Clock::duration down = now - stoppedAt_[index];
    if (servers_.running(index) || down < kShortestDowntime ||
        (overdueOnly && down < kLongestDowntime)) {
      continue;
    }
    return servers_.Start(index, error);
  }
  return true;
}

bool FaultDriver::Heal(std::string& error) {
  for (size_t index = 0; index < SoakServers::kCount; ++index) {
    servers_.proxy(index).Heal();
    if (!servers_.running(index) && !servers_.Start(index, error)) {
      return false;
    }
  }
  return true;
}

}  // namespace sondrel::test
