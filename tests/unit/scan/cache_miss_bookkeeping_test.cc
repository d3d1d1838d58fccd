// The run of server-cache misses that makes every request carry the start of its file, and the
// run of hits that ends it.
#include <gtest/gtest.h>

#include <string>

#include "scan/cache_miss_bookkeeping.h"

namespace sondrel::test {
namespace {

// Applies a sequence of 'm' (miss) and 'h' (hit) and returns the mode after each.
std::string ModeAfterEach(CacheMissBookkeeping& bookkeeping, const std::string& sequence,
                          int32_t threshold = 5) {
  std::string modes;
  for (const char request : sequence) {
    bookkeeping.Count(request == 'h', threshold);
    modes += bookkeeping.sendInitialBufferMode.load() ? '1' : '0';
  }
  return modes;
}

TEST(CacheMissBookkeepingTest, FiveMissesSwitchOnAndFiveHitsInARowSwitchOff) {
  struct Case {
    const char* sequence;
    const char* modes;
  };
  const Case cases[] = {
      {"mmmmm", "00001"},
      {"mmmmhm", "000000"},  // a hit starts the run of misses again
      {"mmmmmhhhhh", "0000111110"},
      {"mmmmmhhhmhhhhh", "00001111111110"},  // a miss in between starts the count of hits again
      {"hhhh", "0000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sequence);
    CacheMissBookkeeping bookkeeping;
    EXPECT_EQ(ModeAfterEach(bookkeeping, c.sequence), c.modes);
  }
}

TEST(CacheMissBookkeepingTest, CountsOutsideTheRunStartOver) {
  CacheMissBookkeeping bookkeeping;
  bookkeeping.sendInitialBufferMode = true;
  bookkeeping.cacheMissCount = 9;  // above the threshold
  bookkeeping.Count(true, 5);
  EXPECT_FALSE(bookkeeping.sendInitialBufferMode);
  EXPECT_EQ(bookkeeping.cacheMissCount, 0);

  bookkeeping.cacheMissCount = 7;  // a miss at or above the threshold without the mode
  bookkeeping.Count(false, 5);
  EXPECT_EQ(bookkeeping.cacheMissCount, 0);
  EXPECT_FALSE(bookkeeping.sendInitialBufferMode);

  bookkeeping.sendInitialBufferMode = true;
  bookkeeping.cacheMissCount = 3;
  bookkeeping.Reset();
  EXPECT_FALSE(bookkeeping.sendInitialBufferMode);
  EXPECT_EQ(bookkeeping.cacheMissCount, 0);
}

}  // namespace
}  // namespace sondrel::test
