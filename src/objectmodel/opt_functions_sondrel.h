// The scan client's function table as the object model calls it. Slots 0 to 5 are the client's
// operations on records; slot 6 reads settings from an object and hands them to slot 0; slot 7
// answers 50. The functions behind the ids (which unpack their IObject argument into a record,
// call one slot and pack the result back) are plain members of this table.
#pragma once

#include <cstdint>
#include <vector>

#include "config/settings.h"
#include "objectmodel/current_connections.h"
#include "objectmodel/i_object.h"
#include "slots/slot_records.h"

namespace Kalvix {

class OptFunctions_Sondrel {
 public:
  // Slot 0: replaces the live settings. 0 with a connection manager, 1627 without (the settings
  // are applied either way).
  virtual int32_t ApplySettings(const sondrel::Settings& settings) = 0;
  // Slot 1: a slot as the envelope asks; its result and, on success, the granted slot are written
  // into it. 0 or 1627.
  virtual int32_t AllocateSlot(sondrel::SlotEnvelope& envelope) = 0;
  // Slot 2: frees the envelope's slot; its result is written into it. 0 or 1627.
  virtual int32_t FreeSlot(sondrel::SlotEnvelope& envelope) = 0;
  // Slot 3: hands the current slot pairs over. 0, or 1627 when they were handed over before.
  virtual int32_t TakeSlotPairs(std::vector<sondrel::SlotPair>& pairs) = 0;
  // Slot 4: takes the slot pairs of the client behind `source` (its Get of the pair hand-over) as
  // the pairs the next Init keeps. The source's result.
  virtual int32_t TakeOverSlotPairs(IObject* source) = 0;
  // Slot 5: the connection manager's servers. 0, or 1627 without a connection manager.
  virtual int32_t ListCurrentConnections(CurrentConnections& connections) = 0;
  // Slot 6: settings with the built-in defaults, overwritten by what `source` reports, then slot
  // 0. 232 when the source's copy failed; nothing is applied then.
  virtual int32_t ApplySettingsFrom(IObject* source);
  // Slot 7.
  virtual int32_t Unsupported();

  // The functions behind the ids; `argument` is never null here (the function operation refuses
  // a null argument with 4306). An exception inside becomes 1627.
  int32_t ApplySettingsObject(IObject* argument);
  int32_t AllocateSlotObject(IObject* argument);
  int32_t FreeSlotObject(IObject* argument);
  int32_t TakeSlotPairsVisitor(IObjectVisitor* visitor);
  int32_t TakeOverSlotPairsObject(IObject* source);
  int32_t CurrentConnectionsObject(IObject* destination);
  // The direction a function does not have: 50.
  int32_t RefuseObject(IObject* argument);

 protected:
  OptFunctions_Sondrel() = default;
  ~OptFunctions_Sondrel() = default;

 private:
  // Unpacks the envelope, calls slot 1 or 2 and, when that succeeded, packs it back.
  int32_t SlotEnvelopeFunction(IObject* argument,
                               int32_t (OptFunctions_Sondrel::*slot)(sondrel::SlotEnvelope&));
};

}  // namespace Kalvix
