#include "comm/server_identity.h"

#include <gtest/gtest.h>

#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "comm/utc_clock.h"

namespace sondrel {
namespace {

TEST(ServerIdentityTest, TextShowsTheBytesInWireOrder) {
  const ServerIdentity identity = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                                   0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
  EXPECT_EQ(FormatServerIdentity(identity), "01234567-89ab-cdef-1032-547698badcfe");
  EXPECT_EQ(FormatServerIdentity(ServerIdentity{}), "00000000-0000-0000-0000-000000000000");
}

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
