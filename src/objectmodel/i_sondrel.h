// The scan client's face as a monitor holds it: an IObject whose Set and Get call the client's
// functions by id. "In" functions are reached through Set(id, argument), "out" functions through
// Get(id, argument); the other direction of every function answers 50.
#pragma once

#include <cstdint>

#include "objectmodel/i_object.h"

namespace Kalvix {

class ISondrel : public IObject {};

// The function ids, from 0x10000 (not itself a function) to 0x11000 (excluded).
inline constexpr uint32_t kSondrelFunctionsFirstId = 0x10000;
inline constexpr uint32_t kSondrelFunctionsEndId = 0x11000;
// In: an IObject holding settings; every property it does not report takes its built-in default.
inline constexpr uint32_t kFunctionApplySettings = 0x10001;
// In: an IObject holding a SlotEnvelope, updated when the allocation succeeds.
inline constexpr uint32_t kFunctionAllocateSlot = 0x10002;
// In: an IObject holding a SlotEnvelope, updated when the free succeeds.
inline constexpr uint32_t kFunctionFreeSlot = 0x10003;
// Out: an IObjectVisitor that receives the client's slot pairs; from then on the client performs
// no slot operation.
inline constexpr uint32_t kFunctionTakeSlotPairs = 0x10004;
// In: the face of another client, whose slot pairs the next Init keeps on the servers.
inline constexpr uint32_t kFunctionTakeOverSlotPairs = 0x10005;
// Out: an IObject that receives a CurrentConnections record.
inline constexpr uint32_t kFunctionCurrentConnections = 0x10006;

// The client-level failure of a function.
inline constexpr int32_t kResultRefused = 1627;

}  // namespace Kalvix
