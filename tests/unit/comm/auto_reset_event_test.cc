// The pool manager's wake event: one waiter per signal, a signal kept until a wait consumes it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "comm/auto_reset_event.h"

namespace sondrel::test {
namespace {

using std::chrono::milliseconds;

TEST(AutoResetEventTest, SignalIsKeptUntilAWaitConsumesIt) {
  AutoResetEvent event;
  EXPECT_FALSE(event.WaitFor(milliseconds(0)));
  event.Signal();
  event.Signal();
  EXPECT_TRUE(event.WaitFor(milliseconds(0)));
  EXPECT_FALSE(event.WaitFor(milliseconds(0)));
}

TEST(AutoResetEventTest, OneSignalReleasesOneWaiter) {
  AutoResetEvent event;
  std::atomic<int> released{0};
  auto waiter = [&] {
    if (event.WaitFor(milliseconds(3000))) {
      ++released;
    }
  };
  std::thread a(waiter);
  std::thread b(waiter);
  event.Signal();
  while (released.load() == 0) {
    std::this_thread::sleep_for(milliseconds(1));
  }
  event.Signal();
  a.join();
  b.join();
  EXPECT_EQ(released.load(), 2);
  EXPECT_FALSE(event.WaitFor(milliseconds(0)));
}

}  // namespace
}  // namespace sondrel::test
