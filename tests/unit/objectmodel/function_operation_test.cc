#include "objectmodel/function_arguments_operation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "objectmodel/i_object.h"
#include "objectmodel/implementation.h"
#include "objectmodel/object_mapping.h"
#include "objectmodel/proxy.h"
#include "objectmodel/result_codes.h"
#include "objectmodel/visitor_proxy.h"
#include "test_objects.h"

namespace Kalvix::test {
namespace {

// A component's function table: an input function, an output function, a list output, and the
// answer of every direction a function does not support.
class Functions {
 public:
  virtual ~Functions() = default;

  int32_t Apply(IObject* source) {
    Proxy<Inner> proxy(&applied, *InnerMapping());
    return CopySucceeded(source->CopyTo(&proxy)) ? kResultOk : kResultNothingCopied;
  }
  int32_t Read(IObject* destination) {
    Proxy<Inner> proxy(&state, *InnerMapping());
    return CopySucceeded(proxy.CopyTo(destination)) ? kResultOk : 1627;
  }
  int32_t List(IObjectVisitor* visitor) {
    visitor->Begin();
    for (Inner& each : items) {
      Proxy<Inner> proxy(&each, *InnerMapping());
      visitor->Visit(&proxy);
    }
    visitor->End();
    return kResultOk;
  }
  int32_t NotSupported(IObject* /*argument*/) { return kResultNotSupported; }
  int32_t NotSupportedVisitor(IObjectVisitor* /*argument*/) { return kResultNotSupported; }

  Inner applied;
  Inner state{21, L"state"};
  std::vector<Inner> items = {Inner{1, L"a"}, Inner{2, L"b"}};
};

using ObjectFunction = FArgumentsOperation<Functions, IObject*, IObject*>;
using VisitorFunction = FArgumentsOperation<Functions, IObject*, IObjectVisitor*>;

constexpr uint32_t kFunctionsFirst = 0x50000;
constexpr uint32_t kApply = 0x50001;
constexpr uint32_t kRead = 0x50002;
constexpr uint32_t kList = 0x50003;
constexpr uint32_t kFunctionsEnd = 0x51000;

ObjectMapping<Functions> FunctionMapping(bool readOnly = false) {
  ObjectMapping<Functions> m(kFunctionsFirst, kFunctionsEnd, readOnly);
  m.Add(kApply, std::make_unique<ObjectFunction>(&Functions::Apply, &Functions::NotSupported));
  m.Add(kRead, std::make_unique<ObjectFunction>(&Functions::NotSupported, &Functions::Read));
  m.Add(kList, std::make_unique<VisitorFunction>(&Functions::NotSupported, &Functions::List));
  return m;
}

TEST(FunctionOperationTest, TypeCodesTellWhatTheOutputIs) {
  const ObjectFunction object(&Functions::Apply, &Functions::Read);
  const VisitorFunction visitor(&Functions::NotSupported, &Functions::List);
  EXPECT_EQ(object.TypeCode(), 91);
  EXPECT_EQ(visitor.TypeCode(), 93);
}

TEST(FunctionOperationTest, CallsTheOwnersFunctionsAndRefusesToBeCopied) {
  Functions owner;
  const ObjectFunction apply(&Functions::Apply, &Functions::NotSupported);
  Inner given{8, L"given"};
  Proxy<Inner> source(&given, *InnerMapping());
  EXPECT_EQ(OperationSet<Functions>(apply, &owner, static_cast<IObject*>(&source)), kResultOk);
  EXPECT_EQ(owner.applied, given);
  Inner out;
  Proxy<Inner> destination(&out, *InnerMapping());
  EXPECT_EQ(OperationGet<Functions>(apply, &owner, static_cast<IObject*>(&destination)),
            kResultNotSupported);
  EXPECT_EQ(out, Inner());

  SelectiveTarget target({kApply});
  EXPECT_EQ(apply.Report(&owner, &target, kApply), kResultNotSupported);
  EXPECT_TRUE(target.offered.empty());
}

TEST(FunctionOperationTest, MissingOwnerOrArgumentIsRefusedWith4306) {
  Functions owner;
  const ObjectFunction apply(&Functions::Apply, &Functions::Read);
  Inner given;
  Proxy<Inner> source(&given, *InnerMapping());
  EXPECT_EQ(OperationSet<Functions>(apply, nullptr, static_cast<IObject*>(&source)),
            kResultNotFound);
  EXPECT_EQ(OperationSet<Functions>(apply, &owner, static_cast<IObject*>(nullptr)),
            kResultNotFound);
  EXPECT_EQ(OperationGet<Functions>(apply, &owner, static_cast<IObject*>(nullptr)),
            kResultNotFound);
}

// A small component exposing the function table above.
class Component final : public Implementation<IObject, Functions> {
 public:
  explicit Component(bool readOnly = false) : Implementation(FunctionMapping(readOnly)) {}
};

TEST(ImplementationTest, SetAndGetCallTheFunctionsByIdInTheirDirection) {
  Component component;
  Inner given{4, L"in"};
  Proxy<Inner> source(&given, *InnerMapping());
  IObject& face = component;
  EXPECT_EQ(face.Set(kApply, static_cast<IObject*>(&source)), kResultOk);
  EXPECT_EQ(component.applied, given);

  Inner out;
  Proxy<Inner> destination(&out, *InnerMapping());
  EXPECT_EQ(face.Get(kRead, static_cast<IObject*>(&destination)), kResultOk);
  EXPECT_EQ(out, component.state);
  EXPECT_EQ(face.Set(kRead, static_cast<IObject*>(&source)), kResultNotSupported);

  std::vector<Inner> listed;
  VisitorProxy<std::vector<Inner>> visitor(&listed, *InnerMapping());
  EXPECT_EQ(face.Get(kList, static_cast<IObjectVisitor*>(&visitor)), kResultOk);
  EXPECT_EQ(listed, component.items);
}

TEST(ImplementationTest, UnknownIdsReadOnlyMappingsAndCopies) {
  Component component;
  IObject& face = component;
  Inner given;
  Proxy<Inner> source(&given, *InnerMapping());
  const auto argument = static_cast<IObject*>(&source);
  EXPECT_EQ(face.Set(kFunctionsFirst, argument), kResultNotFound);
  EXPECT_EQ(face.Set(0x50100, argument), kResultNotFound);
  EXPECT_EQ(face.Set(kFunctionsEnd, argument), kResultIdOutOfRange);
  EXPECT_EQ(face.Get(kFunctionsEnd, argument), kResultIdOutOfRange);
  EXPECT_EQ(face.CopyTo(argument), kResultNotSupported);
  EXPECT_EQ(face.GetVersion(), 1);

  Component readOnly(/*readOnly=*/true);
  IObject& readOnlyFace = readOnly;
  EXPECT_EQ(readOnlyFace.Set(kApply, argument), kResultReadOnly);
  Inner out;
  Proxy<Inner> destination(&out, *InnerMapping());
  EXPECT_EQ(readOnlyFace.Get(kRead, static_cast<IObject*>(&destination)), kResultOk);
}

}  // namespace
}  // namespace Kalvix::test
