// The factory every companion library exports: two plain C functions that create and destroy
// named objects. Each created object answers an interface query as its first virtual operation.
//
// The interfaces that cross a companion's boundary have no virtual destructor: the module that
// created an object destroys it, and the slot of every operation is part of the contract.
#pragma once

#include <cstdint>

#include "companions/guid.h"

// How a companion library marks its two exports (the rest of it stays hidden).
#define SONDREL_COMPANION_EXPORT extern "C" __attribute__((visibility("default")))

namespace sondrel {

class ICompanionObject {
 public:
  // Slot 0: the interface with this identifier, or null when the object has none.
  virtual void* QueryInterface(Guid interfaceId) = 0;

 protected:
  ~ICompanionObject() = default;
};

// QxCreateObject(object name, class identifier, out object): 0 on success.
using QxCreateObjectFn = int32_t (*)(const wchar_t* name, Guid classId, ICompanionObject** object);
// QxDestroyObject(object name, object): destroys an object the same module created.
using QxDestroyObjectFn = void (*)(const wchar_t* name, ICompanionObject* object);

inline constexpr const char* kCreateObjectExport = "QxCreateObject";
inline constexpr const char* kDestroyObjectExport = "QxDestroyObject";

}  // namespace sondrel
