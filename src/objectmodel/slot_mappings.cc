#include "objectmodel/slot_mappings.h"

#include "objectmodel/arguments_operation.h"
#include "objectmodel/structure_arguments_operation.h"
#include "objectmodel/value_arguments_operations.h"

namespace Kalvix {
namespace {

using sondrel::QxGuid;
using sondrel::Slot;
using sondrel::SlotEnvelope;
using sondrel::SlotPair;
using SlotOperation = SArgumentsOperation<SlotPair, ObjectMapping<Slot>, Slot>;

std::shared_ptr<const ObjectMapping<Slot>> BuildSlotMapping() {
  auto mapping = std::make_shared<ObjectMapping<Slot>>(Slot::kFirstObjectId, Slot::kLastObjectId);
  mapping->Add(Slot::kServerRunningIdProperty,
               std::make_unique<ArgumentsOperation<Slot, QxGuid>>(&Slot::serverRunningID));
  mapping->Add(Slot::kSlotNameProperty,
               std::make_unique<ArgumentsOperation<Slot, QxGuid>>(&Slot::slotName));
  return mapping;
}

ObjectMapping<SlotPair> BuildSlotPairMapping() {
  ObjectMapping<SlotPair> mapping(SlotPair::kFirstObjectId, SlotPair::kLastObjectId);
  mapping.Add(SlotPair::kOrigProperty,
              std::make_unique<SlotOperation>(&SlotPair::orig, SlotMapping()));
  mapping.Add(SlotPair::kActProperty,
              std::make_unique<SlotOperation>(&SlotPair::act, SlotMapping()));
  return mapping;
}

ObjectMapping<SlotEnvelope> BuildSlotEnvelopeMapping() {
  ObjectMapping<SlotEnvelope> mapping(SlotEnvelope::kFirstObjectId, SlotEnvelope::kLastObjectId);
  mapping.Add(SlotEnvelope::kSlotProperty,
              std::make_unique<SArgumentsOperation<SlotEnvelope, ObjectMapping<Slot>, Slot>>(
                  &SlotEnvelope::slot, SlotMapping()));
  mapping.Add(SlotEnvelope::kForceProperty,
              std::make_unique<BVArgumentsOperation<SlotEnvelope>>(&SlotEnvelope::force));
  mapping.Add(SlotEnvelope::kResultProperty,
              std::make_unique<BVArgumentsOperation<SlotEnvelope>>(&SlotEnvelope::result));
  return mapping;
}

}  // namespace

const std::shared_ptr<const ObjectMapping<Slot>>& SlotMapping() {
  static const std::shared_ptr<const ObjectMapping<Slot>> mapping = BuildSlotMapping();
  return mapping;
}

const ObjectMapping<SlotPair>& SlotPairMapping() {
  static const ObjectMapping<SlotPair> mapping = BuildSlotPairMapping();
  return mapping;
}

const ObjectMapping<SlotEnvelope>& SlotEnvelopeMapping() {
  static const ObjectMapping<SlotEnvelope> mapping = BuildSlotEnvelopeMapping();
  return mapping;
}

}  // namespace Kalvix
