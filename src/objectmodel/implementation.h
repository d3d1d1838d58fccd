// The object a component exposes: its IObject-shaped interface I over its function table F.
// Set calls a function with its input argument, Get with its output argument; both go through
// the mapping of F's callable functions with the component itself as the record.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "objectmodel/i_object.h"
#include "objectmodel/object_mapping.h"
#include "objectmodel/result_codes.h"

namespace Kalvix {

template <typename I, typename F>
class Implementation : public I, public F {
  static_assert(std::is_base_of_v<IObject, I>, "the exposed interface is an IObject");

 public:
  int32_t Set(uint32_t id, ...) override {
    std::va_list args;
    va_start(args, id);
    const int32_t result = functions_.Set(static_cast<F*>(this), id, args);
    va_end(args);
    return result;
  }

  int32_t Get(uint32_t id, ...) override {
    std::va_list args;
    va_start(args, id);
    const int32_t result = functions_.Get(static_cast<F*>(this), id, args);
    va_end(args);
    return result;
  }

  int32_t CopyTo(IObject* /*target*/) override { return kResultNotSupported; }
  int32_t GetVersion() override { return kMappingVersion; }

 protected:
  explicit Implementation(ObjectMapping<F> functions) : functions_(std::move(functions)) {}

 private:
  const ObjectMapping<F> functions_;
};

}  // namespace Kalvix
