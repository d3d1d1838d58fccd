#include "comm/utc_clock.h"

#include <gtest/gtest.h>

#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>

namespace sondrel {
namespace {

TEST(UtcClockTest, CountsMicrosecondsFromTheYear1400) {
  using boost::gregorian::date;
  using boost::posix_time::ptime;
  EXPECT_EQ(MicrosecondsSince1400(ptime(date(1400, 1, 1))), 0u);
  EXPECT_EQ(MicrosecondsSince1400(ptime(date(1400, 1, 2), boost::posix_time::microseconds(5))),
            86'400'000'005u);
  // 1970-01-01 lies 570 years and 138 leap days after the epoch.
  EXPECT_EQ(MicrosecondsSince1400(ptime(date(1970, 1, 1))),
            (uint64_t{570} * 365 + 138) * 86'400'000'000u);
  EXPECT_GT(UtcMicrosecondsSince1400(), MicrosecondsSince1400(ptime(date(2020, 1, 1))));
}

}  // namespace
}  // namespace sondrel
