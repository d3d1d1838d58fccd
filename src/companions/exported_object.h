// A holder for one object of a companion library: it loads the library, creates the named object
// through the library's factory, asks it for one interface, and releases all of it again. A
// holder is empty after construction, after Release and after a failed Load. Holders are not
// thread-safe; their owner serialises their use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "companions/companion_factory.h"
#include "companions/guid.h"
#include "platform/module_loader.h"

namespace sondrel {

class ExportedObjectBase {
 public:
  ExportedObjectBase() = default;
  ExportedObjectBase(const ExportedObjectBase&) = delete;
  ExportedObjectBase& operator=(const ExportedObjectBase&) = delete;
  virtual ~ExportedObjectBase();

  // Releases whatever is held, then loads the library at path, creates the object called name
  // and obtains its interface with interfaceId. Returns 0, or the code of the first failure
  // (the system's code, or 632 when it gives none; the factory's own code; 632 when the object
  // has no such interface), in which case the holder is left empty and the library unloaded.
  int32_t Load(const std::wstring& path, std::wstring_view name, const Guid& interfaceId);
  // Destroys the object through the library, unloads the library and forgets everything.
  // Does nothing on an empty holder.
  void Release();

  bool loaded() const { return module_ != nullptr; }
  const std::wstring& name() const { return name_; }

 protected:
  void* rawInterface() const { return interface_; }

 private:
  // Releases and returns code (never 0).
  int32_t Fail(int32_t code);

  platform::ModuleHandle module_ = nullptr;
  ICompanionObject* object_ = nullptr;
  void* interface_ = nullptr;
  QxDestroyObjectFn destroy_ = nullptr;
  QxCreateObjectFn create_ = nullptr;
  std::wstring name_;
};

// T is the interface the holder obtains from its object.
template <class T>
class ExportedObject final : public ExportedObjectBase {
 public:
  T* interface() const { return static_cast<T*>(rawInterface()); }
};

}  // namespace sondrel
