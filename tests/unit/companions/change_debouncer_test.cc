// One action for a burst of changes, at most one per interval, and none after Stop.
#include "companions/change_debouncer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace sondrel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Runs {
 public:
  void Record() {
    std::lock_guard<std::mutex> lock(mutex_);
    times_.push_back(Clock::now());
  }
  std::vector<Clock::time_point> times() {
    std::lock_guard<std::mutex> lock(mutex_);
    return times_;
  }

 private:
  std::mutex mutex_;
  std::vector<Clock::time_point> times_;
};

TEST(ChangeDebouncerTest, ABurstOfChangesRunsTheActionOnceAfterItIsQuiet) {
  Runs runs;
  ChangeDebouncer debouncer(50ms, 0ms, [&] { runs.Record(); });
  const Clock::time_point began = Clock::now();
  for (int i = 0; i < 5; ++i) {
    debouncer.Notify();
    std::this_thread::sleep_for(10ms);
  }
  std::this_thread::sleep_for(200ms);
  ASSERT_EQ(runs.times().size(), 1u);
  EXPECT_GE(runs.times()[0] - began, 90ms);
}

TEST(ChangeDebouncerTest, RunsFollowEachOtherNoSoonerThanTheInterval) {
  Runs runs;
  ChangeDebouncer debouncer(0ms, 300ms, [&] { runs.Record(); });
  debouncer.Notify();
  std::this_thread::sleep_for(50ms);
  debouncer.Notify();
  std::this_thread::sleep_for(500ms);
  const std::vector<Clock::time_point> times = runs.times();
  ASSERT_EQ(times.size(), 2u);
  EXPECT_GE(times[1] - times[0], 300ms);
}

TEST(ChangeDebouncerTest, StopDropsAPendingChangeAndWaitsForARunningAction) {
  std::atomic<int> runs{0};
  {
    ChangeDebouncer debouncer(100ms, 0ms, [&] { ++runs; });
    debouncer.Notify();
    debouncer.Stop();
    debouncer.Notify();
  }
  EXPECT_EQ(runs, 0);

  std::atomic<bool> finished{false};
  ChangeDebouncer slow(0ms, 0ms, [&] {
    std::this_thread::sleep_for(100ms);
    finished = true;
  });
  slow.Notify();
  std::this_thread::sleep_for(30ms);
  slow.Stop();
  EXPECT_TRUE(finished);
}

}  // namespace
}  // namespace sondrel
