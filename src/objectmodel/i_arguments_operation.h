// Binds one property id of a record type T to the member that serves it. The variable argument
// that IObject::Set and IObject::Get received after the id is handed on as a va_list, from which
// the operation takes exactly the one argument its property expects.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "objectmodel/i_object.h"

namespace Kalvix {

// What TypeCode reports for each kind of member.
inline constexpr int32_t kTypeCodeBool = 0;
inline constexpr int32_t kTypeCodeInt = 1;
inline constexpr int32_t kTypeCodeString = 21;
inline constexpr int32_t kTypeCodeIdentifier = 31;
inline constexpr int32_t kTypeCodeRecord = 0;  // lists and nested records
inline constexpr int32_t kTypeCodeFunctionObject = 91;
inline constexpr int32_t kTypeCodeFunctionVisitor = 93;

template <typename T>
class IArgumentsOperation {
 public:
  virtual ~IArgumentsOperation() = default;
  virtual int32_t Set(T* record, std::va_list args) const = 0;
  virtual int32_t Get(T* record, std::va_list args) const = 0;
  // Hands the member to target->Set(id, ...) in the form that Set of this property takes.
  virtual int32_t Report(T* record, IObject* target, uint32_t id) const = 0;
  virtual int32_t TypeCode() const = 0;
};

}  // namespace Kalvix
