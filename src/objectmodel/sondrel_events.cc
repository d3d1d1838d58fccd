#include "objectmodel/sondrel_events.h"

#include <memory>

#include "objectmodel/function_arguments_operation.h"
#include "objectmodel/object_mapping.h"

namespace Kalvix {
namespace {

using F = OptFunctions_Sondrel;
using ObjectFunction = FArgumentsOperation<F, IObject*, IObject*>;
using VisitorFunction = FArgumentsOperation<F, IObject*, IObjectVisitor*>;

ObjectMapping<F> BuildFunctionMapping() {
  ObjectMapping<F> m(kSondrelFunctionsFirstId, kSondrelFunctionsEndId);
  m.Add(kFunctionApplySettings,
        std::make_unique<ObjectFunction>(&F::ApplySettingsObject, &F::RefuseObject));
  m.Add(kFunctionAllocateSlot,
        std::make_unique<ObjectFunction>(&F::AllocateSlotObject, &F::RefuseObject));
  m.Add(kFunctionFreeSlot, std::make_unique<ObjectFunction>(&F::FreeSlotObject, &F::RefuseObject));
  m.Add(kFunctionTakeSlotPairs,
        std::make_unique<VisitorFunction>(&F::RefuseObject, &F::TakeSlotPairsVisitor));
  m.Add(kFunctionTakeOverSlotPairs,
        std::make_unique<ObjectFunction>(&F::TakeOverSlotPairsObject, &F::RefuseObject));
  m.Add(kFunctionCurrentConnections,
        std::make_unique<ObjectFunction>(&F::RefuseObject, &F::CurrentConnectionsObject));
  return m;
}

}  // namespace

SondrelEvents::SondrelEvents()
    : Implementation<ISondrel, OptFunctions_Sondrel>(BuildFunctionMapping()) {}

}  // namespace Kalvix
