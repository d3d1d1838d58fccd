// The slot records and the connections record in the object model: their ids, nested copies and
// partial copies.
#include "objectmodel/slot_mappings.h"

#include <gtest/gtest.h>

#include <vector>

#include "config/settings.h"
#include "config/settings_property_ids.h"
#include "objectmodel/current_connections.h"
#include "objectmodel/proxy.h"
#include "objectmodel/result_codes.h"
#include "objectmodel/settings_mapping.h"
#include "test_objects.h"

namespace Kalvix::test {
namespace {

using sondrel::QxGuid;
using sondrel::Slot;
using sondrel::SlotEnvelope;
using sondrel::SlotPair;

Slot MakeSlot(uint32_t server, uint32_t name) {
  return {QxGuid{{server, 0, 0, 0x11}}, QxGuid{{name, 0, 0x22, 0}}};
}

TEST(SlotMappingsTest, ASlotCopiedIntoATargetThatTakesOnlyItsNameCountsAsSuccess) {
  Slot slot = MakeSlot(1, 2);
  Proxy<Slot> proxy(&slot, *SlotMapping());
  SelectiveTarget onlyName({Slot::kSlotNameProperty});
  EXPECT_EQ(proxy.CopyTo(&onlyName), -1);
  EXPECT_EQ(onlyName.offered,
            (std::vector<uint32_t>{Slot::kServerRunningIdProperty, Slot::kSlotNameProperty}));
  SelectiveTarget nothing;
  EXPECT_EQ(proxy.CopyTo(&nothing), kResultNothingCopied);
}

TEST(SlotMappingsTest, PairsAndEnvelopesCopyTheirNestedSlots) {
  SlotPair pair{MakeSlot(1, 2), MakeSlot(3, 4)};
  SlotPair copy;
  Proxy<SlotPair> from(&pair, SlotPairMapping());
  Proxy<SlotPair> to(&copy, SlotPairMapping());
  EXPECT_EQ(from.CopyTo(&to), kResultOk);
  EXPECT_EQ(copy, pair);

  SlotEnvelope envelope{MakeSlot(5, 6), true, true};
  SlotEnvelope read;
  Proxy<SlotEnvelope> source(&envelope, SlotEnvelopeMapping());
  Proxy<SlotEnvelope> target(&read, SlotEnvelopeMapping());
  EXPECT_EQ(source.CopyTo(&target), kResultOk);
  EXPECT_EQ(read.slot, envelope.slot);
  EXPECT_TRUE(read.force);
  EXPECT_TRUE(read.result);

  QxGuid name;
  EXPECT_EQ(Proxy<Slot>(&pair.act, *SlotMapping()).Get(Slot::kSlotNameProperty, &name), kResultOk);
  EXPECT_EQ(name, pair.act.slotName);
  EXPECT_EQ(source.Get(SlotEnvelope::kLastObjectId, &name), kResultIdOutOfRange);
}

// A record of another kind reports ids outside the envelope's range: nothing is taken.
TEST(SlotMappingsTest, AForeignRecordFillsNoEnvelope) {
  sondrel::Settings settings;
  Proxy<sondrel::Settings> foreign(&settings, SettingsMapping());
  SlotEnvelope envelope;
  Proxy<SlotEnvelope> target(&envelope, SlotEnvelopeMapping());
  EXPECT_EQ(foreign.CopyTo(&target), kResultNothingCopied);
}

// The connections record shares its id with the settings' server list, so it fills one.
TEST(SlotMappingsTest, CurrentConnectionsFillASettingsServerList) {
  CurrentConnections connections;
  connections.servers.resize(2);
  connections.servers[0].address = L"scan1.example";
  connections.servers[1].port = 7443;
  sondrel::Settings settings;
  Proxy<CurrentConnections> from(&connections, CurrentConnectionsMapping());
  Proxy<sondrel::Settings> to(&settings, SettingsMapping());
  EXPECT_EQ(from.CopyTo(&to), kResultOk);
  EXPECT_EQ(settings.servers, connections.servers);
  EXPECT_EQ(from.Set(sondrel::kPropEnableScan, 1), kResultNotFound);
}

}  // namespace
}  // namespace Kalvix::test
