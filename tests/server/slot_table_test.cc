// Slots of one connection: capacity, free, keep, expiry and the force bit.
#include "server/slot_table.h"

#include <gtest/gtest.h>

namespace sondrel::server {
namespace {

TEST(SlotTableTest, GrantsUpToCapacityAndDropsOnlySlotsNotKeptOnExpiry) {
  using namespace std::chrono_literals;
  SlotTable slots(2, 10s);
  const auto now = SlotTable::Clock::now();
  const auto a = slots.Grant(false, now);
  const auto b = slots.Grant(false, now);
  ASSERT_TRUE(a && b);
  EXPECT_NE(*a, *b);
  EXPECT_EQ((*a)[6] >> 4, 4) << "random version-4 identifiers";
  EXPECT_FALSE(slots.Grant(false, now));
  EXPECT_TRUE(slots.Free(*a));
  EXPECT_FALSE(slots.Free(*a));
  EXPECT_TRUE(slots.Keep(*b));
  const auto c = slots.Grant(false, now + 1s);
  ASSERT_TRUE(c);
  EXPECT_FALSE(slots.Grant(false, now + 5s));
  EXPECT_TRUE(slots.Grant(false, now + 12s)) << "c expired, the kept b stays";
  EXPECT_FALSE(slots.Grant(false, now + 12s));
  EXPECT_TRUE(slots.Grant(true, now + 12s)) << "force drops the oldest slot not kept";
  EXPECT_EQ(slots.size(), 2u);
  EXPECT_TRUE(slots.Free(*b));
}

}  // namespace
}  // namespace sondrel::server
