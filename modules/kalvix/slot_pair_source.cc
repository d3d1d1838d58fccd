#include "slot_pair_source.h"

#include <cstdarg>

#include "objectmodel/i_sondrel.h"
#include "objectmodel/proxy.h"
#include "objectmodel/result_codes.h"
#include "objectmodel/slot_mappings.h"

namespace sondrel::kalvix {

int32_t SlotPairSource::Set(uint32_t /*id*/, ...) {
  return Kalvix::kResultNotSupported;
}

int32_t SlotPairSource::Get(uint32_t id, ...) {
  if (id != Kalvix::kFunctionTakeSlotPairs) {
    return Kalvix::kResultNotSupported;
  }
  std::va_list args;
  va_start(args, id);
  Kalvix::IObjectVisitor* visitor = va_arg(args, Kalvix::IObjectVisitor*);
  va_end(args);
  if (visitor == nullptr) {
    return Kalvix::kResultNotFound;
  }
  visitor->Begin();
  Kalvix::Proxy<SlotPair> element(nullptr, Kalvix::SlotPairMapping());
  for (SlotPair& pair : pairs_) {
    element.Attach(&pair);
    visitor->Visit(&element);
  }
  visitor->End();
  return Kalvix::kResultOk;
}

int32_t SlotPairSource::CopyTo(Kalvix::IObject* /*target*/) {
  return Kalvix::kResultNotSupported;
}

int32_t SlotPairSource::GetVersion() {
  return Kalvix::kMappingVersion;
}

}  // namespace sondrel::kalvix
