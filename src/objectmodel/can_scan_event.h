// The client's scanning availability as the monitor receives it: whether a request can be served
// at all, and whether scan servers are available.
#pragma once

#include <cstdint>

#include "objectmodel/object_mapping.h"

namespace Kalvix {

inline constexpr uint32_t kCanScanEventFirstId = 0x25000;
inline constexpr uint32_t kCanScanEventEndId = 0x26000;
inline constexpr uint32_t kPropCanScan = 0x25001;
inline constexpr uint32_t kPropCanScanRemote = 0x25002;

struct CanScanEvent {
  bool canScan = false;        // by a scan server, or locally when local scanning is allowed
  bool canScanRemote = false;  // scan servers are available
};

// The two bool properties, built once on first use.
const ObjectMapping<CanScanEvent>& CanScanEventMapping();

}  // namespace Kalvix
