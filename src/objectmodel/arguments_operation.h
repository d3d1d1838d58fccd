// Operations of members that travel by pointer and are copied in and out whole: the record's
// strings (qx::StringT) and 16-byte identifiers (QxGuid).
#pragma once

#include <cstdarg>
#include <cstdint>
#include <type_traits>

#include "objectmodel/i_arguments_operation.h"
#include "objectmodel/i_object.h"
#include "objectmodel/result_codes.h"
#include "qx/string_t.h"

namespace Kalvix {

template <typename T, typename M>
class ArgumentsOperation final : public IArgumentsOperation<T> {
  static constexpr bool kIsString = std::is_same_v<M, qx::StringT>;
  static_assert(kIsString || (std::is_trivially_copyable_v<M> && sizeof(M) == 16),
                "pointer-passed members are strings or 16-byte identifiers");

 public:
  explicit ArgumentsOperation(M T::*member) : member_(member) {}

  // Copies *value into the member.
  int32_t Set(T* record, std::va_list args) const override {
    const M* value = va_arg(args, M*);
    if (record == nullptr || value == nullptr) {
      return kResultNotFound;
    }
    record->*member_ = *value;
    return kResultOk;
  }

  // Copies the member into *destination.
  int32_t Get(T* record, std::va_list args) const override {
    M* destination = va_arg(args, M*);
    if (record == nullptr || destination == nullptr) {
      return kResultNotFound;
    }
    *destination = record->*member_;
    return kResultOk;
  }

  // Hands the target a pointer to the member itself.
  int32_t Report(T* record, IObject* target, uint32_t id) const override {
    if (record == nullptr || target == nullptr) {
      return kResultNotFound;
    }
    return target->Set(id, &(record->*member_));
  }

  int32_t TypeCode() const override { return kIsString ? kTypeCodeString : kTypeCodeIdentifier; }

 private:
  M T::*member_;
};

}  // namespace Kalvix
