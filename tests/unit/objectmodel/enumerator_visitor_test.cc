#include <gtest/gtest.h>

#include <cstdint>
#include <list>
#include <vector>

#include "objectmodel/enumerator_proxy.h"
#include "objectmodel/proxy.h"
#include "objectmodel/result_codes.h"
#include "objectmodel/visitor_proxy.h"
#include "test_objects.h"

namespace Kalvix::test {
namespace {

int32_t ValueOf(IObject* element) {
  int value = -1;
  EXPECT_EQ(element->Get(kInnerValue, &value), kResultOk);
  return value;
}

TEST(EnumeratorProxyTest, YieldsNothingUntilResetThenEveryElementOnce) {
  std::vector<Inner> list = {Inner{1, L"a"}, Inner{2, L"b"}, Inner{3, L"c"}};
  EnumeratorProxy<std::vector<Inner>> enumerator(&list, *InnerMapping());
  EXPECT_EQ(enumerator.Current(), nullptr);
  EXPECT_FALSE(enumerator.MoveNext());
  EXPECT_EQ(enumerator.Current(), nullptr);

  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(enumerator.Reset(), kResultOk);
    EXPECT_EQ(enumerator.Current(), nullptr);  // before the first element
    std::vector<int32_t> seen;
    while (enumerator.MoveNext()) {
      ASSERT_NE(enumerator.Current(), nullptr);
      seen.push_back(ValueOf(enumerator.Current()));
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 3})) << "pass " << pass;
    EXPECT_EQ(enumerator.Current(), nullptr);
    EXPECT_FALSE(enumerator.MoveNext());
  }
}

TEST(EnumeratorProxyTest, CurrentWritesThroughToTheListElement) {
  std::list<Inner> list(1);
  EnumeratorProxy<std::list<Inner>> enumerator(&list, *InnerMapping());
  enumerator.Reset();
  ASSERT_TRUE(enumerator.MoveNext());
  EXPECT_EQ(enumerator.Current()->Set(kInnerValue, 40), kResultOk);
  EXPECT_EQ(list.front().value, 40);
}

TEST(EnumeratorProxyTest, EmptyOrMissingListYieldsNothing) {
  std::vector<Inner> empty;
  EnumeratorProxy<std::vector<Inner>> overEmpty(&empty, *InnerMapping());
  overEmpty.Reset();
  EXPECT_FALSE(overEmpty.MoveNext());
  EXPECT_EQ(overEmpty.Current(), nullptr);

  EnumeratorProxy<std::vector<Inner>> overNothing(nullptr, *InnerMapping());
  EXPECT_EQ(overNothing.Reset(), kResultOk);
  EXPECT_FALSE(overNothing.MoveNext());
  EXPECT_EQ(overNothing.Current(), nullptr);
}

TEST(VisitorProxyTest, BeginEmptiesTheListAndEachVisitAppendsACopy) {
  std::vector<Inner> list = {Inner{}, Inner{}};
  VisitorProxy<std::vector<Inner>> visitor(&list, *InnerMapping());
  Inner first{5, L"five"};
  Inner second{6, L"six"};
  Proxy<Inner> a(&first, *InnerMapping());
  Proxy<Inner> b(&second, *InnerMapping());

  EXPECT_EQ(visitor.Begin(), kResultOk);
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(visitor.Visit(&a));
  EXPECT_TRUE(visitor.Visit(&b));
  EXPECT_EQ(visitor.End(), kResultOk);
  EXPECT_EQ(list, (std::vector<Inner>{first, second}));
}

// The element's copy result is not looked at: an element reporting nothing the mapping accepts
// still leaves a record with its defaults.
TEST(VisitorProxyTest, AnElementThatReportsNothingStillAppendsARecord) {
  std::vector<Inner> list;
  VisitorProxy<std::vector<Inner>> visitor(&list, *InnerMapping());
  Sample foreign;
  Proxy<Sample> element(&foreign, SampleMapping());
  visitor.Begin();
  EXPECT_TRUE(visitor.Visit(&element));
  EXPECT_EQ(list, (std::vector<Inner>{Inner{}}));
}

TEST(VisitorProxyTest, AThrowingElementRemovesTheRecordAppendedForIt) {
  std::list<Inner> list;
  VisitorProxy<std::list<Inner>> visitor(&list, *InnerMapping());
  Inner kept{1, L"kept"};
  Proxy<Inner> good(&kept, *InnerMapping());
  ThrowingObject bad;
  visitor.Begin();
  EXPECT_TRUE(visitor.Visit(&good));
  EXPECT_FALSE(visitor.Visit(&bad));
  EXPECT_FALSE(visitor.Visit(nullptr));
  EXPECT_TRUE(visitor.Visit(&good));
  EXPECT_EQ(list, (std::list<Inner>{kept, kept}));

  VisitorProxy<std::list<Inner>> withoutList(nullptr, *InnerMapping());
  EXPECT_EQ(withoutList.Begin(), kResultOk);
  EXPECT_FALSE(withoutList.Visit(&good));
}

}  // namespace
}  // namespace Kalvix::test
