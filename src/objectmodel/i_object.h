// The interfaces through which records cross module boundaries. Their slot order is fixed
// (slot 0 is the destructor); peers built separately rely on it.
//
// Set and Get take one variable argument after the property id, whose type depends on the
// property and must be passed exactly:
//   bool and int properties   Set: int                  Get: int*
//   string properties         Set: qx::StringT*         Get: qx::StringT*
//   identifier properties     Set: identifier*          Get: identifier*
//   list properties           Set: IObjectEnumerator*   Get: IObjectVisitor*
//   nested records            Set: IObject*             Get: IObject*
//   functions                 Set: their input pointer  Get: their output pointer
#pragma once

#include <cstdint>

namespace Kalvix {

class IObject {
 public:
  virtual ~IObject() = default;
  virtual int32_t Set(uint32_t id, ...) = 0;
  virtual int32_t Get(uint32_t id, ...) = 0;
  // Reports every property to the target through its Set.
  virtual int32_t CopyTo(IObject* target) = 0;
  virtual int32_t GetVersion() = 0;
};

// Reads a list: Reset, then MoveNext until it returns false, taking Current after each step.
class IObjectEnumerator {
 public:
  virtual ~IObjectEnumerator() = default;
  virtual int32_t Reset() = 0;
  virtual bool MoveNext() = 0;
  // Valid until the next MoveNext or Reset; null before the first element and after the last.
  virtual IObject* Current() = 0;
};

// Fills a list: Begin, one Visit per element, End.
class IObjectVisitor {
 public:
  virtual ~IObjectVisitor() = default;
  virtual int32_t Begin() = 0;
  virtual bool Visit(IObject* element) = 0;
  virtual int32_t End() = 0;
};

}  // namespace Kalvix
