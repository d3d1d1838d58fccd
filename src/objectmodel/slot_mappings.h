// The object-model mappings of the slot records: a slot, the pair that follows it from the server
// that granted it to where it lives now, and the envelope of one allocate or free request. Each is
// built once on first use and shared by every proxy over its record.
#pragma once

#include <memory>

#include "objectmodel/object_mapping.h"
#include "slots/slot_records.h"

namespace Kalvix {

// serverRunningID and slotName, both 16-byte identifiers.
const std::shared_ptr<const ObjectMapping<sondrel::Slot>>& SlotMapping();
// orig and act, both nested slots.
const ObjectMapping<sondrel::SlotPair>& SlotPairMapping();
// The nested slot, force and result.
const ObjectMapping<sondrel::SlotEnvelope>& SlotEnvelopeMapping();

}  // namespace Kalvix
