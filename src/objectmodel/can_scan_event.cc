#include "objectmodel/can_scan_event.h"

#include <memory>

#include "objectmodel/value_arguments_operations.h"

namespace Kalvix {
namespace {

ObjectMapping<CanScanEvent> BuildCanScanEventMapping() {
  ObjectMapping<CanScanEvent> mapping(kCanScanEventFirstId, kCanScanEventEndId);
  mapping.Add(kPropCanScan,
              std::make_unique<BVArgumentsOperation<CanScanEvent>>(&CanScanEvent::canScan));
  mapping.Add(kPropCanScanRemote,
              std::make_unique<BVArgumentsOperation<CanScanEvent>>(&CanScanEvent::canScanRemote));
  return mapping;
}

}  // namespace

const ObjectMapping<CanScanEvent>& CanScanEventMapping() {
  static const ObjectMapping<CanScanEvent> mapping = BuildCanScanEventMapping();
  return mapping;
}

}  // namespace Kalvix
