#include "objectmodel/opt_functions_sondrel.h"

#include "objectmodel/i_sondrel.h"
#include "objectmodel/proxy.h"
#include "objectmodel/result_codes.h"
#include "objectmodel/settings_mapping.h"
#include "objectmodel/slot_mappings.h"

namespace Kalvix {
namespace {

// Runs one function for a monitor: no exception reaches the monitor's code.
template <typename Function>
int32_t Guarded(Function&& function) {
  try {
    return function();
  } catch (...) {
    return kResultRefused;
  }
}

}  // namespace

int32_t OptFunctions_Sondrel::ApplySettingsFrom(IObject* source) {
  sondrel::Settings settings;
  Proxy<sondrel::Settings> target(&settings, SettingsMapping());
  if (!CopySucceeded(source->CopyTo(&target))) {
    return kResultNothingCopied;
  }
  return ApplySettings(settings);
}

int32_t OptFunctions_Sondrel::Unsupported() {
  return kResultNotSupported;
}

int32_t OptFunctions_Sondrel::ApplySettingsObject(IObject* argument) {
  return Guarded([&] { return ApplySettingsFrom(argument); });
}

int32_t OptFunctions_Sondrel::AllocateSlotObject(IObject* argument) {
  return Guarded(
      [&] { return SlotEnvelopeFunction(argument, &OptFunctions_Sondrel::AllocateSlot); });
}

int32_t OptFunctions_Sondrel::FreeSlotObject(IObject* argument) {
  return Guarded([&] { return SlotEnvelopeFunction(argument, &OptFunctions_Sondrel::FreeSlot); });
}

int32_t OptFunctions_Sondrel::SlotEnvelopeFunction(
    IObject* argument, int32_t (OptFunctions_Sondrel::*slot)(sondrel::SlotEnvelope&)) {
  sondrel::SlotEnvelope envelope{};
  Proxy<sondrel::SlotEnvelope> read(&envelope, SlotEnvelopeMapping());
  if (!CopySucceeded(argument->CopyTo(&read))) {
    return kResultNothingCopied;
  }
  // A failed operation leaves the monitor's envelope as it was.
  if (const int32_t result = (this->*slot)(envelope); result != kResultOk) {
    return result;
  }
  return CopySucceeded(SlotEnvelopeMapping().CopyTo(&envelope, argument)) ? kResultOk
                                                                          : kResultNothingCopied;
}

int32_t OptFunctions_Sondrel::TakeSlotPairsVisitor(IObjectVisitor* visitor) {
  return Guarded([&] {
    std::vector<sondrel::SlotPair> pairs;
    if (const int32_t result = TakeSlotPairs(pairs); result != kResultOk) {
      return result;
    }
    visitor->Begin();
    Proxy<sondrel::SlotPair> element(nullptr, SlotPairMapping());
    for (sondrel::SlotPair& pair : pairs) {
      element.Attach(&pair);
      visitor->Visit(&element);
    }
    visitor->End();
    return kResultOk;
  });
}

int32_t OptFunctions_Sondrel::TakeOverSlotPairsObject(IObject* source) {
  return Guarded([&] { return TakeOverSlotPairs(source); });
}

int32_t OptFunctions_Sondrel::CurrentConnectionsObject(IObject* destination) {
  return Guarded([&] {
    CurrentConnections connections;
    if (const int32_t result = ListCurrentConnections(connections); result != kResultOk) {
      return result;
    }
    return CopySucceeded(CurrentConnectionsMapping().CopyTo(&connections, destination))
               ? kResultOk
               : kResultRefused;
  });
}

int32_t OptFunctions_Sondrel::RefuseObject(IObject* /*argument*/) {
  return kResultNotSupported;
}

}  // namespace Kalvix
