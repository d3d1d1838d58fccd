#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "objectmodel/enumerator_proxy.h"
#include "objectmodel/proxy.h"
#include "objectmodel/result_codes.h"
#include "objectmodel/visitor_proxy.h"
#include "qx/string_t.h"
#include "test_objects.h"

namespace Kalvix::test {
namespace {

TEST(ArgumentOperationsTest, BoolStoresAnyNonzeroAsTrueAndReadsBackZeroOrOne) {
  Sample record;
  Proxy<Sample> proxy(&record, SampleMapping());
  int out = -1;
  EXPECT_EQ(proxy.Set(kSampleFlag, 7), kResultOk);
  EXPECT_TRUE(record.flag);
  EXPECT_EQ(proxy.Get(kSampleFlag, &out), kResultOk);
  EXPECT_EQ(out, 1);
  EXPECT_EQ(proxy.Set(kSampleFlag, 0), kResultOk);
  EXPECT_FALSE(record.flag);
  EXPECT_EQ(proxy.Get(kSampleFlag, &out), kResultOk);
  EXPECT_EQ(out, 0);
}

TEST(ArgumentOperationsTest, IntIsStoredAsGiven) {
  Sample record;
  Proxy<Sample> proxy(&record, SampleMapping());
  int out = 0;
  EXPECT_EQ(proxy.Set(kSampleCount, INT32_MIN), kResultOk);
  EXPECT_EQ(record.count, INT32_MIN);
  EXPECT_EQ(proxy.Get(kSampleCount, &out), kResultOk);
  EXPECT_EQ(out, INT32_MIN);
}

TEST(ArgumentOperationsTest, StringIsCopiedInAndOut) {
  Sample record;
  Proxy<Sample> proxy(&record, SampleMapping());
  qx::StringT given(L"scan-01.example");
  EXPECT_EQ(proxy.Set(kSampleName, &given), kResultOk);
  given = L"changed afterwards";
  EXPECT_EQ(record.name.View(), L"scan-01.example");
  qx::StringT out(L"previous text");
  EXPECT_EQ(proxy.Get(kSampleName, &out), kResultOk);
  EXPECT_EQ(out.View(), L"scan-01.example");
}

TEST(ArgumentOperationsTest, IdentifierCopiesSixteenBytesInAndOut) {
  Sample record;
  Proxy<Sample> proxy(&record, SampleMapping());
  Identifier given{};
  for (uint8_t i = 0; i < 16; ++i) {
    given.bytes[i] = static_cast<uint8_t>(0xF0 + i);
  }
  EXPECT_EQ(proxy.Set(kSampleIdentifier, &given), kResultOk);
  EXPECT_EQ(record.id, given);
  Identifier out{};
  EXPECT_EQ(proxy.Get(kSampleIdentifier, &out), kResultOk);
  EXPECT_EQ(out, given);
}

// Every pointer argument is checked; the record keeps its values.
TEST(ArgumentOperationsTest, NullArgumentIsRefusedWith4306) {
  struct Case {
    const char* what;
    std::function<int32_t(IObject&)> call;
  };
  const std::vector<Case> cases = {
      {"bool Get", [](IObject& o) { return o.Get(kSampleFlag, static_cast<int*>(nullptr)); }},
      {"int Get", [](IObject& o) { return o.Get(kSampleCount, static_cast<int*>(nullptr)); }},
      {"string Set",
       [](IObject& o) { return o.Set(kSampleName, static_cast<qx::StringT*>(nullptr)); }},
      {"string Get",
       [](IObject& o) { return o.Get(kSampleName, static_cast<qx::StringT*>(nullptr)); }},
      {"identifier Set",
       [](IObject& o) { return o.Set(kSampleIdentifier, static_cast<Identifier*>(nullptr)); }},
      {"identifier Get",
       [](IObject& o) { return o.Get(kSampleIdentifier, static_cast<Identifier*>(nullptr)); }},
      {"nested Set",
       [](IObject& o) { return o.Set(kSampleInner, static_cast<IObject*>(nullptr)); }},
      {"nested Get",
       [](IObject& o) { return o.Get(kSampleInner, static_cast<IObject*>(nullptr)); }},
      {"list Set",
       [](IObject& o) { return o.Set(kSampleItems, static_cast<IObjectEnumerator*>(nullptr)); }},
      {"list Get",
       [](IObject& o) { return o.Get(kSampleItems, static_cast<IObjectVisitor*>(nullptr)); }},
  };
  for (const Case& c : cases) {
    Sample record;
    record.name = L"kept";
    record.inner.value = 8;
    record.items.resize(2);
    Proxy<Sample> proxy(&record, SampleMapping());
    EXPECT_EQ(c.call(proxy), kResultNotFound) << c.what;
    EXPECT_EQ(record.name.View(), L"kept") << c.what;
    EXPECT_EQ(record.inner.value, 8) << c.what;
    EXPECT_EQ(record.items.size(), 2u) << c.what;
  }
}

// The operations check the record themselves, not only the proxy in front of them.
TEST(ArgumentOperationsTest, EveryOperationRefusesANullRecordOrTarget) {
  Sample record;
  SelectiveTarget target;
  for (const uint32_t id :
       {kSampleFlag, kSampleCount, kSampleName, kSampleIdentifier, kSampleInner, kSampleItems}) {
    const auto* operation = SampleMapping().Find(id);
    ASSERT_NE(operation, nullptr) << std::hex << id;
    EXPECT_EQ(operation->Report(nullptr, &target, id), kResultNotFound) << std::hex << id;
    EXPECT_EQ(operation->Report(&record, nullptr, id), kResultNotFound) << std::hex << id;
  }
  EXPECT_TRUE(target.offered.empty());
  const auto& flag = *SampleMapping().Find(kSampleFlag);
  const auto& count = *SampleMapping().Find(kSampleCount);
  qx::StringT text(L"x");
  int out = 0;
  EXPECT_EQ(OperationSet<Sample>(flag, nullptr, 1), kResultNotFound);
  EXPECT_EQ(OperationSet<Sample>(count, nullptr, 1), kResultNotFound);
  EXPECT_EQ(OperationGet<Sample>(count, nullptr, &out), kResultNotFound);
  EXPECT_EQ(OperationSet<Sample>(*SampleMapping().Find(kSampleName), nullptr, &text),
            kResultNotFound);
}

TEST(ArgumentOperationsTest, TypeCodesTellTheKindOfMember) {
  const struct {
    uint32_t id;
    int32_t code;
  } cases[] = {{kSampleFlag, 0},        {kSampleCount, 1}, {kSampleName, 21},
               {kSampleIdentifier, 31}, {kSampleInner, 0}, {kSampleItems, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(SampleMapping().Find(c.id)->TypeCode(), c.code) << std::hex << c.id;
  }
}

// CopyTo reports each member in the form its Set takes, so a copy between two proxies carries
// every kind of member, nested records and lists included.
TEST(ArgumentOperationsTest, CopyBetweenTwoProxiesCarriesEveryKindOfMember) {
  Sample source;
  source.flag = true;
  source.count = -42;
  source.name = L"name";
  source.id.bytes[0] = 0x11;
  source.id.bytes[15] = 0xFF;
  source.inner = Inner{9, L"nested"};
  source.items = {Inner{1, L"one"}, Inner{2, L"two"}};
  Sample destination;
  destination.items = {Inner{}, Inner{}, Inner{}};
  Proxy<Sample> from(&source, SampleMapping());
  Proxy<Sample> to(&destination, SampleMapping());

  EXPECT_EQ(from.CopyTo(&to), 0);
  EXPECT_TRUE(destination.flag);
  EXPECT_EQ(destination.count, -42);
  EXPECT_EQ(destination.name.View(), L"name");
  EXPECT_EQ(destination.id, source.id);
  EXPECT_EQ(destination.inner, source.inner);
  EXPECT_EQ(destination.items, source.items);
}

}  // namespace
}  // namespace Kalvix::test
