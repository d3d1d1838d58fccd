// The operation of a callable function of a component: Set hands its pointer argument to the
// owner's input function, Get to the owner's output function. A direction that the function does
// not support is bound to an owner function that answers 50.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <type_traits>

#include "objectmodel/i_arguments_operation.h"
#include "objectmodel/i_object.h"
#include "objectmodel/result_codes.h"

namespace Kalvix {

template <typename T, typename A, typename B>
class FArgumentsOperation final : public IArgumentsOperation<T> {
  static constexpr bool kOutputIsVisitor = std::is_same_v<B, IObjectVisitor*>;
  static_assert(std::is_same_v<A, IObject*> && (std::is_same_v<B, IObject*> || kOutputIsVisitor),
                "functions take an IObject and give to an IObject or an IObjectVisitor");

 public:
  using Input = int32_t (T::*)(A);
  using Output = int32_t (T::*)(B);

  FArgumentsOperation(Input input, Output output) : input_(input), output_(output) {}

  int32_t Set(T* record, std::va_list args) const override {
    A argument = va_arg(args, A);
    if (record == nullptr || argument == nullptr) {
      return kResultNotFound;
    }
    return (record->*input_)(argument);
  }

  int32_t Get(T* record, std::va_list args) const override {
    B argument = va_arg(args, B);
    if (record == nullptr || argument == nullptr) {
      return kResultNotFound;
    }
    return (record->*output_)(argument);
  }

  // A function is no value that could be copied.
  int32_t Report(T* /*record*/, IObject* /*target*/, uint32_t /*id*/) const override {
    return kResultNotSupported;
  }

  int32_t TypeCode() const override {
    return kOutputIsVisitor ? kTypeCodeFunctionVisitor : kTypeCodeFunctionObject;
  }

 private:
  Input input_;
  Output output_;
};

}  // namespace Kalvix
