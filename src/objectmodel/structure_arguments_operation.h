// The operation of a nested record member: Set reads it from a source IObject, Get copies it to
// a destination IObject, Report hands the target a proxy over it.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

#include "objectmodel/i_arguments_operation.h"
#include "objectmodel/i_object.h"
#include "objectmodel/object_mapping.h"
#include "objectmodel/proxy.h"
#include "objectmodel/result_codes.h"

namespace Kalvix {

template <typename T, typename Mapping, typename E>
class SArgumentsOperation final : public IArgumentsOperation<T> {
  static_assert(std::is_same_v<Mapping, ObjectMapping<E>>,
                "the nested mapping serves the member's type");

 public:
  SArgumentsOperation(E T::*member, std::shared_ptr<const Mapping> nested)
      : member_(member), nested_(std::move(nested)) {}

  // The source copies itself into a zero-filled record, which replaces the member only when the
  // copy succeeded; otherwise 4316 and the member is unchanged.
  int32_t Set(T* record, std::va_list args) const override {
    IObject* source = va_arg(args, IObject*);
    if (record == nullptr || source == nullptr) {
      return kResultNotFound;
    }
    E read{};
    Proxy<E> proxy(&read, *nested_);
    if (!CopySucceeded(source->CopyTo(&proxy))) {
      return kResultFillFailed;
    }
    record->*member_ = std::move(read);
    return kResultOk;
  }

  int32_t Get(T* record, std::va_list args) const override {
    IObject* destination = va_arg(args, IObject*);
    if (record == nullptr || destination == nullptr) {
      return kResultNotFound;
    }
    return CopySucceeded(nested_->CopyTo(&(record->*member_), destination)) ? kResultOk
                                                                            : kResultFillFailed;
  }

  int32_t Report(T* record, IObject* target, uint32_t id) const override {
    if (record == nullptr || target == nullptr) {
      return kResultNotFound;
    }
    Proxy<E> nested(&(record->*member_), *nested_);
    return target->Set(id, static_cast<IObject*>(&nested));
  }

  int32_t TypeCode() const override { return kTypeCodeRecord; }

 private:
  E T::*member_;
  std::shared_ptr<const Mapping> nested_;
};

}  // namespace Kalvix
