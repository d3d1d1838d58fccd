#include "objectmodel/proxy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "config/settings.h"
#include "config/settings_property_ids.h"
#include "objectmodel/result_codes.h"
#include "objectmodel/settings_mapping.h"
#include "objectmodel/value_arguments_operations.h"
#include "test_objects.h"

namespace Kalvix::test {
namespace {

using sondrel::Settings;

TEST(ProxyTest, IdsAreCheckedAgainstTheRecordsRange) {
  const struct {
    uint32_t id;
    int32_t result;
  } cases[] = {
      {0x1FFFF, kResultIdOutOfRange},
      {0x20000, kResultNotFound},  // the range start is not a property
      {0x2002A, kResultNotFound},  // inside the range, no property
      {0x20FFF, kResultNotFound},
      {0x21000, kResultIdOutOfRange},
      {0x21001, kResultIdOutOfRange},  // a ServerSettings id
  };
  Settings record;
  Proxy<Settings> proxy(&record, SettingsMapping());
  for (const auto& c : cases) {
    int out = 0;
    EXPECT_EQ(proxy.Set(c.id, 1), c.result) << std::hex << c.id;
    EXPECT_EQ(proxy.Get(c.id, &out), c.result) << std::hex << c.id;
  }
  EXPECT_EQ(record, Settings());
}

TEST(ProxyTest, WithoutARecordEveryOperationAnswers4306) {
  Proxy<Settings> proxy(nullptr, SettingsMapping());
  SelectiveTarget target({sondrel::kPropTimeout});
  int out = 0;
  EXPECT_EQ(proxy.Set(sondrel::kPropTimeout, 5), kResultNotFound);
  EXPECT_EQ(proxy.Get(sondrel::kPropTimeout, &out), kResultNotFound);
  EXPECT_EQ(proxy.Set(0x21000, 5), kResultNotFound);  // the record is checked before the range
  EXPECT_EQ(proxy.CopyTo(&target), kResultNotFound);
  EXPECT_TRUE(target.offered.empty());
  EXPECT_EQ(proxy.GetVersion(), 1);
}

TEST(ProxyTest, AReadOnlyMappingRefusesSetAndStillReads) {
  ObjectMapping<Inner> readOnly(kInnerFirst, kInnerEnd, /*readOnly=*/true);
  readOnly.Add(kInnerValue, std::make_unique<VArgumentsOperation<Inner, int>>(&Inner::value));
  Inner record;
  Proxy<Inner> proxy(&record, readOnly);
  EXPECT_EQ(proxy.Set(kInnerValue, 99), kResultReadOnly);
  EXPECT_EQ(proxy.Set(0x40000, 99), kResultReadOnly);  // refused before the id is looked at
  EXPECT_EQ(record.value, 3);
  int out = 0;
  EXPECT_EQ(proxy.Get(kInnerValue, &out), kResultOk);
  EXPECT_EQ(out, 3);
  SelectiveTarget target({kInnerValue});
  EXPECT_EQ(proxy.CopyTo(&target), 0);
}

TEST(ProxyTest, CopyCountsTheRefusedProperties) {
  Settings record;
  Proxy<Settings> proxy(&record, SettingsMapping());
  const auto n = static_cast<int32_t>(SettingsMapping().Size());

  SelectiveTarget onlyOne({sondrel::kPropRegion});
  const int32_t partial = proxy.CopyTo(&onlyOne);
  EXPECT_EQ(partial, -(n - 1));
  EXPECT_TRUE(CopySucceeded(partial));

  SelectiveTarget nothing;
  EXPECT_EQ(proxy.CopyTo(&nothing), kResultNothingCopied);
  EXPECT_FALSE(CopySucceeded(kResultNothingCopied));
  // Every property was offered once, in ascending id order.
  ASSERT_EQ(nothing.offered.size(), SettingsMapping().Size());
  EXPECT_EQ(nothing.offered.front(), sondrel::kPropServers);
  EXPECT_EQ(nothing.offered.back(), sondrel::kPropTlsClientKey);
  EXPECT_TRUE(std::is_sorted(nothing.offered.begin(), nothing.offered.end()));

  EXPECT_EQ(proxy.CopyTo(nullptr), kResultNotFound);
}

TEST(ProxyTest, AMappingWithoutPropertiesCopiesNothing) {
  const ObjectMapping<Inner> empty(kInnerFirst, kInnerEnd);
  Inner record;
  Proxy<Inner> proxy(&record, empty);
  SelectiveTarget target;
  EXPECT_EQ(proxy.CopyTo(&target), kResultNothingCopied);
}

TEST(ProxyTest, AConstRecordCanBeReadButNotSet) {
  Inner record{7, L"event"};
  const Inner& constant = record;
  Proxy<const Inner> proxy(&constant, *InnerMapping());
  EXPECT_EQ(proxy.Set(kInnerValue, 1), kResultReadOnly);
  EXPECT_EQ(record.value, 7);
  int out = 0;
  EXPECT_EQ(proxy.Get(kInnerValue, &out), kResultOk);
  EXPECT_EQ(out, 7);
  EXPECT_EQ(proxy.Get(kInnerEnd, &out), kResultIdOutOfRange);
  Inner copy;
  Proxy<Inner> target(&copy, *InnerMapping());
  EXPECT_EQ(proxy.CopyTo(&target), 0);
  EXPECT_EQ(copy, record);
  EXPECT_EQ(proxy.GetVersion(), 1);

  Proxy<const Inner> empty(nullptr, *InnerMapping());
  EXPECT_EQ(empty.Set(kInnerValue, 1), kResultNotFound);
  EXPECT_EQ(empty.Get(kInnerValue, &out), kResultNotFound);
}

}  // namespace
}  // namespace Kalvix::test
