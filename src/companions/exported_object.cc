#include "companions/exported_object.h"

namespace sondrel {
namespace {

constexpr int32_t kNoCode = static_cast<int32_t>(platform::kModuleNotFoundError);

}  // namespace

ExportedObjectBase::~ExportedObjectBase() {
  Release();
}

int32_t ExportedObjectBase::Load(const std::wstring& path, std::wstring_view name,
                                 const Guid& interfaceId) {
  Release();
  name_.assign(name);

  uint32_t error = 0;
  module_ = platform::LoadModule(path, &error);
  if (module_ == nullptr) {
    return Fail(error != 0 ? static_cast<int32_t>(error) : kNoCode);
  }
  // Looking up a symbol gives no system code here, so a missing export is reported as 632.
  create_ =
      reinterpret_cast<QxCreateObjectFn>(platform::GetModuleSymbol(module_, kCreateObjectExport));
  if (create_ == nullptr) {
    return Fail(kNoCode);
  }
  destroy_ =
      reinterpret_cast<QxDestroyObjectFn>(platform::GetModuleSymbol(module_, kDestroyObjectExport));
  if (destroy_ == nullptr) {
    return Fail(kNoCode);
  }

  // The out pointer is read only when the factory reports success: a failing factory keeps
  // whatever it may have written.
  ICompanionObject* created = nullptr;
  const int32_t result = create_(name_.c_str(), kCompanionClassId, &created);
  if (result != 0) {
    return Fail(result);
  }
  if (created == nullptr) {
    return Fail(kNoCode);
  }
  object_ = created;

  interface_ = object_->QueryInterface(interfaceId);
  if (interface_ == nullptr) {
    return Fail(kNoCode);
  }
  return 0;
}

int32_t ExportedObjectBase::Fail(int32_t code) {
  Release();
  return code;
}

void ExportedObjectBase::Release() {
  if (object_ != nullptr && destroy_ != nullptr) {
    destroy_(name_.c_str(), object_);
  }
  interface_ = nullptr;
  object_ = nullptr;
  if (module_ != nullptr) {
    platform::FreeModule(module_);
    module_ = nullptr;
  }
  destroy_ = nullptr;
  create_ = nullptr;
  name_.clear();
}

}  // namespace sondrel
