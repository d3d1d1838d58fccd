// The operations of bool and int members. Both take their value directly as an int and give it
// back through an int pointer.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <type_traits>

#include "objectmodel/i_arguments_operation.h"
#include "objectmodel/i_object.h"
#include "objectmodel/result_codes.h"

namespace Kalvix {

// A one-byte bool member: any nonzero int stores true; it reads back as 0 or 1.
template <typename T>
class BVArgumentsOperation final : public IArgumentsOperation<T> {
 public:
  explicit BVArgumentsOperation(bool T::*member) : member_(member) {}

  int32_t Set(T* record, std::va_list args) const override {
    if (record == nullptr) {
      return kResultNotFound;
    }
    record->*member_ = va_arg(args, int) != 0;
    return kResultOk;
  }

  int32_t Get(T* record, std::va_list args) const override {
    int* destination = va_arg(args, int*);
    if (record == nullptr || destination == nullptr) {
      return kResultNotFound;
    }
    *destination = record->*member_ ? 1 : 0;
    return kResultOk;
  }

  int32_t Report(T* record, IObject* target, uint32_t id) const override {
    if (record == nullptr || target == nullptr) {
      return kResultNotFound;
    }
    return target->Set(id, record->*member_ ? 1 : 0);
  }

  int32_t TypeCode() const override { return kTypeCodeBool; }

 private:
  bool T::*member_;
};

// An int32 member.
template <typename T, typename V>
class VArgumentsOperation final : public IArgumentsOperation<T> {
  static_assert(std::is_same_v<V, int> && sizeof(int) == sizeof(int32_t),
                "values travel through the variable argument as int");

 public:
  explicit VArgumentsOperation(V T::*member) : member_(member) {}

  int32_t Set(T* record, std::va_list args) const override {
    if (record == nullptr) {
      return kResultNotFound;
    }
    record->*member_ = va_arg(args, int);
    return kResultOk;
  }

  int32_t Get(T* record, std::va_list args) const override {
    int* destination = va_arg(args, int*);
    if (record == nullptr || destination == nullptr) {
      return kResultNotFound;
    }
    *destination = record->*member_;
    return kResultOk;
  }

  int32_t Report(T* record, IObject* target, uint32_t id) const override {
    if (record == nullptr || target == nullptr) {
      return kResultNotFound;
    }
    return target->Set(id, record->*member_);
  }

  int32_t TypeCode() const override { return kTypeCodeInt; }

 private:
  V T::*member_;
};

}  // namespace Kalvix
