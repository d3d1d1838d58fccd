#include "test_objects.h"

#include <memory>

#include "objectmodel/arguments_operation.h"
#include "objectmodel/container_arguments_operation.h"
#include "objectmodel/structure_arguments_operation.h"
#include "objectmodel/value_arguments_operations.h"

namespace Kalvix::test {

const std::shared_ptr<const ObjectMapping<Inner>>& InnerMapping() {
  static const std::shared_ptr<const ObjectMapping<Inner>> mapping = [] {
    auto m = std::make_shared<ObjectMapping<Inner>>(kInnerFirst, kInnerEnd);
    m->Add(kInnerValue, std::make_unique<VArgumentsOperation<Inner, int>>(&Inner::value));
    m->Add(kInnerLabel, std::make_unique<ArgumentsOperation<Inner, qx::StringT>>(&Inner::label));
    return m;
  }();
  return mapping;
}

const ObjectMapping<Sample>& SampleMapping() {
  static const ObjectMapping<Sample> mapping = [] {
    ObjectMapping<Sample> m(kSampleFirst, kSampleEnd);
    m.Add(kSampleFlag, std::make_unique<BVArgumentsOperation<Sample>>(&Sample::flag));
    m.Add(kSampleCount, std::make_unique<VArgumentsOperation<Sample, int>>(&Sample::count));
    m.Add(kSampleName, std::make_unique<ArgumentsOperation<Sample, qx::StringT>>(&Sample::name));
    m.Add(kSampleIdentifier, std::make_unique<ArgumentsOperation<Sample, Identifier>>(&Sample::id));
    m.Add(kSampleInner, std::make_unique<SArgumentsOperation<Sample, ObjectMapping<Inner>, Inner>>(
                            &Sample::inner, InnerMapping()));
    m.Add(kSampleItems,
          std::make_unique<CArgumentsOperation<Sample, ObjectMapping<Inner>, std::list<Inner>>>(
              &Sample::items, InnerMapping()));
    return m;
  }();
  return mapping;
}

}  // namespace Kalvix::test
