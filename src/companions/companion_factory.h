// The factory every companion library exports: two plain C functions that create and destroy
// named objects. Each created object answers an interface query as its first virtual operation.
//
// The interfaces that cross a companion's boundary have no virtual destructor: the module that
// created an object destroys it, and the slot of every operation is part of the contract.
#pragma once

#include <cstdint>
#include <cwchar>

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

// What a factory answers besides 0.
inline constexpr int32_t kFactoryInvalidArgument = 87;
inline constexpr int32_t kFactoryUnknownObject = 1168;
inline constexpr int32_t kFactoryOutOfMemory = 8;

// The body of a QxCreateObject that makes one kind of object: checks the arguments, the object
// name and the class identifier, then stores make()'s object. No exception leaves it.
template <typename Make>
int32_t CreateCompanionObject(const wchar_t* name, Guid classId, ICompanionObject** object,
                              const wchar_t* objectName, Make make) {
  if (name == nullptr || object == nullptr) {
    return kFactoryInvalidArgument;
  }
  if (std::wcscmp(name, objectName) != 0 || classId != kCompanionClassId) {
    return kFactoryUnknownObject;
  }
  try {
    *object = make();
  } catch (...) {
    return kFactoryOutOfMemory;
  }
  return 0;
}

}  // namespace sondrel
