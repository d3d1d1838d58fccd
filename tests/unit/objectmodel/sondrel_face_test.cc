// The client's face over a scripted function table: each id in its direction, how arguments are
// unpacked into records and packed back, and what a monitor gets for null, wrong or failing
// objects.
#include "objectmodel/sondrel_events.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "config/settings.h"
#include "config/settings_property_ids.h"
#include "objectmodel/current_connections.h"
#include "objectmodel/proxy.h"
#include "objectmodel/result_codes.h"
#include "objectmodel/settings_mapping.h"
#include "objectmodel/slot_mappings.h"
#include "objectmodel/visitor_proxy.h"
#include "test_objects.h"

namespace Kalvix::test {
namespace {

using sondrel::QxGuid;
using sondrel::Settings;
using sondrel::Slot;
using sondrel::SlotEnvelope;
using sondrel::SlotPair;

// Slots 0 to 5 answer what the test says and record what they received.
class ScriptedFace final : public SondrelEvents {
 public:
  int32_t ApplySettings(const Settings& settings) override {
    applied.push_back(settings);
    return result;
  }
  int32_t AllocateSlot(SlotEnvelope& envelope) override {
    received.push_back(envelope);
    envelope.slot = granted;
    envelope.result = result == kResultOk;
    return result;
  }
  int32_t FreeSlot(SlotEnvelope& envelope) override {
    received.push_back(envelope);
    envelope.result = result == kResultOk;
    return result;
  }
  int32_t TakeSlotPairs(std::vector<SlotPair>& taken) override {
    taken = pairs;
    return result;
  }
  int32_t TakeOverSlotPairs(IObject* source) override {
    sources.push_back(source);
    return result;
  }
  int32_t ListCurrentConnections(CurrentConnections& connections) override {
    if (throwing) {
      throw std::runtime_error("broken");
    }
    connections = current;
    return result;
  }

  int32_t result = kResultOk;
  bool throwing = false;
  std::vector<Settings> applied;
  std::vector<SlotEnvelope> received;
  Slot granted{QxGuid{{7, 0, 0, 0}}, QxGuid{{8, 0, 0, 0}}};
  std::vector<SlotPair> pairs;
  std::vector<IObject*> sources;
  CurrentConnections current;
};

TEST(SondrelFaceTest, EachFunctionHasOneDirectionAndTheOtherAnswers50) {
  ScriptedFace face;
  IObject* monitorView = face.Face();
  Settings settings;
  Proxy<Settings> object(&settings, SettingsMapping());
  std::vector<SlotPair> list;
  VisitorProxy<std::vector<SlotPair>> visitor(&list, SlotPairMapping());
  IObject* objectArgument = &object;
  IObjectVisitor* visitorArgument = &visitor;

  for (const uint32_t in : {kFunctionApplySettings, kFunctionAllocateSlot, kFunctionFreeSlot,
                            kFunctionTakeOverSlotPairs}) {
    EXPECT_EQ(monitorView->Get(in, objectArgument), kResultNotSupported) << std::hex << in;
  }
  EXPECT_EQ(monitorView->Set(kFunctionTakeSlotPairs, objectArgument), kResultNotSupported);
  EXPECT_EQ(monitorView->Set(kFunctionCurrentConnections, objectArgument), kResultNotSupported);
  EXPECT_EQ(monitorView->Get(kFunctionTakeSlotPairs, visitorArgument), kResultOk);
  EXPECT_EQ(monitorView->Get(kFunctionCurrentConnections, objectArgument), kResultOk);

  // Unknown ids, a null argument, and what the face is not.
  EXPECT_EQ(monitorView->Set(0x10007, objectArgument), kResultNotFound);
  EXPECT_EQ(monitorView->Set(kSondrelFunctionsFirstId, objectArgument), kResultNotFound);
  EXPECT_EQ(monitorView->Set(kSondrelFunctionsEndId, objectArgument), kResultIdOutOfRange);
  EXPECT_EQ(monitorView->Set(kFunctionApplySettings, static_cast<IObject*>(nullptr)),
            kResultNotFound);
  EXPECT_EQ(monitorView->Get(kFunctionTakeSlotPairs, static_cast<IObjectVisitor*>(nullptr)),
            kResultNotFound);
  EXPECT_EQ(monitorView->CopyTo(objectArgument), kResultNotSupported);
  EXPECT_EQ(monitorView->GetVersion(), 1);
  EXPECT_TRUE(face.applied.empty());
  EXPECT_TRUE(face.sources.empty());
  EXPECT_EQ(face.Unsupported(), kResultNotSupported);
}

TEST(SondrelFaceTest, SettingsAreReadOverTheBuiltInDefaults) {
  ScriptedFace face;
  face.result = kResultRefused;
  ScriptedSource onlyEnableScan([](IObject* target) { target->Set(sondrel::kPropEnableScan, 1); },
                                -35);
  EXPECT_EQ(face.Face()->Set(kFunctionApplySettings, static_cast<IObject*>(&onlyEnableScan)),
            kResultRefused);
  ASSERT_EQ(face.applied.size(), 1u);
  Settings expected;
  expected.enableScan = true;
  EXPECT_EQ(face.applied[0], expected);

  // A copy that fails hands nothing on, whatever it reported before failing.
  for (const int32_t failed : {kResultNothingCopied, kResultFillFailed}) {
    ScriptedSource broken([](IObject* target) { target->Set(sondrel::kPropTimeout, 5); }, failed);
    EXPECT_EQ(face.Face()->Set(kFunctionApplySettings, static_cast<IObject*>(&broken)),
              kResultNothingCopied);
  }
  EXPECT_EQ(face.applied.size(), 1u);
}

TEST(SondrelFaceTest, AnEnvelopeIsUnpackedAndWrittenBackOnlyOnSuccess) {
  ScriptedFace face;
  SlotEnvelope envelope{{QxGuid{{1, 0, 0, 0}}, QxGuid{{2, 0, 0, 0}}}, true, false};
  Proxy<SlotEnvelope> argument(&envelope, SlotEnvelopeMapping());
  EXPECT_EQ(face.Face()->Set(kFunctionAllocateSlot, static_cast<IObject*>(&argument)), kResultOk);
  ASSERT_EQ(face.received.size(), 1u);
  EXPECT_EQ(face.received[0].slot, (Slot{QxGuid{{1, 0, 0, 0}}, QxGuid{{2, 0, 0, 0}}}));
  EXPECT_TRUE(face.received[0].force);
  EXPECT_EQ(envelope.slot, face.granted);
  EXPECT_TRUE(envelope.result);

  face.result = kResultRefused;
  SlotEnvelope untouched{{QxGuid{{3, 0, 0, 0}}, QxGuid{{4, 0, 0, 0}}}, false, false};
  const SlotEnvelope before = untouched;
  Proxy<SlotEnvelope> refused(&untouched, SlotEnvelopeMapping());
  EXPECT_EQ(face.Face()->Set(kFunctionFreeSlot, static_cast<IObject*>(&refused)), kResultRefused);
  EXPECT_EQ(untouched.slot, before.slot);
  EXPECT_FALSE(untouched.result);

  // An object that is no envelope, and an envelope that takes nothing back.
  face.result = kResultOk;
  Settings settings;
  Proxy<Settings> foreign(&settings, SettingsMapping());
  EXPECT_EQ(face.Face()->Set(kFunctionAllocateSlot, static_cast<IObject*>(&foreign)),
            kResultNothingCopied);
  ScriptedSource readOnly([](IObject* target) { target->Set(SlotEnvelope::kForceProperty, 1); }, 0);
  EXPECT_EQ(face.Face()->Set(kFunctionFreeSlot, static_cast<IObject*>(&readOnly)),
            kResultNothingCopied);
  EXPECT_EQ(face.received.size(), 3u);
}

TEST(SondrelFaceTest, SlotPairsGoToTheVisitorOnlyWhenTheyWereHandedOver) {
  ScriptedFace face;
  face.pairs = {{face.granted, face.granted}, {Slot{}, face.granted}};
  std::vector<SlotPair> received = {SlotPair{}};
  VisitorProxy<std::vector<SlotPair>> visitor(&received, SlotPairMapping());
  EXPECT_EQ(face.Face()->Get(kFunctionTakeSlotPairs, static_cast<IObjectVisitor*>(&visitor)),
            kResultOk);
  EXPECT_EQ(received, face.pairs);

  face.result = kResultRefused;
  std::vector<SlotPair> untouched = {SlotPair{}};
  VisitorProxy<std::vector<SlotPair>> second(&untouched, SlotPairMapping());
  EXPECT_EQ(face.Face()->Get(kFunctionTakeSlotPairs, static_cast<IObjectVisitor*>(&second)),
            kResultRefused);
  EXPECT_EQ(untouched.size(), 1u);

  ScriptedFace other;
  face.result = kResultOk;
  EXPECT_EQ(face.Face()->Set(kFunctionTakeOverSlotPairs, other.Face()), kResultOk);
  EXPECT_EQ(face.sources, std::vector<IObject*>{other.Face()});
}

TEST(SondrelFaceTest, ConnectionsAreCopiedIntoTheDestination) {
  ScriptedFace face;
  face.current.servers.resize(1);
  face.current.servers[0].address = L"scan1.example";
  CurrentConnections read;
  Proxy<CurrentConnections> destination(&read, CurrentConnectionsMapping());
  EXPECT_EQ(face.Face()->Get(kFunctionCurrentConnections, static_cast<IObject*>(&destination)),
            kResultOk);
  EXPECT_EQ(read.servers, face.current.servers);

  SelectiveTarget refusesAll;
  EXPECT_EQ(face.Face()->Get(kFunctionCurrentConnections, static_cast<IObject*>(&refusesAll)),
            kResultRefused);
  face.result = kResultRefused;
  EXPECT_EQ(face.Face()->Get(kFunctionCurrentConnections, static_cast<IObject*>(&destination)),
            kResultRefused);
  face.result = kResultOk;
  face.throwing = true;
  EXPECT_EQ(face.Face()->Get(kFunctionCurrentConnections, static_cast<IObject*>(&destination)),
            kResultRefused);
}

}  // namespace
}  // namespace Kalvix::test
