// The can-scan pair as the monitor reads it from an announcement.
#include <gtest/gtest.h>

#include "objectmodel/can_scan_event.h"
#include "objectmodel/proxy.h"
#include "objectmodel/result_codes.h"

namespace Kalvix {
namespace {

TEST(CanScanEventTest, AnAnnouncementIsReadOnlyAndReadsBothBools) {
  const CanScanEvent pair{true, false};
  Proxy<const CanScanEvent> event(&pair, CanScanEventMapping());
  int canScan = -1;
  int canScanRemote = -1;
  EXPECT_EQ(event.Get(kPropCanScan, &canScan), kResultOk);
  EXPECT_EQ(event.Get(kPropCanScanRemote, &canScanRemote), kResultOk);
  EXPECT_EQ(canScan, 1);
  EXPECT_EQ(canScanRemote, 0);
  EXPECT_EQ(event.Set(kPropCanScan, 0), kResultReadOnly);
  EXPECT_EQ(event.Get(kCanScanEventEndId, &canScan), kResultIdOutOfRange);
}

}  // namespace
}  // namespace Kalvix
