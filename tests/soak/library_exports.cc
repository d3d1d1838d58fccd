#include "soak/library_exports.h"

#include "platform/utf8.h"

namespace sondrel::test {
namespace {

template <typename Function>
bool Resolve(platform::ModuleHandle module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(platform::GetModuleSymbol(module, name));
  return function != nullptr;
}

}  // namespace

LibraryExports::LibraryExports(const std::string& path) {
  uint32_t code = 0;
  module_ = platform::LoadModule(platform::ToWide(path), &code);
  if (module_ == nullptr) {
    error_ = "cannot load " + path + ": " + platform::LastModuleError();
    return;
  }
  ok_ = Resolve(module_, "CoreNew", coreNew) && Resolve(module_, "CoreFree", coreFree) &&
        Resolve(module_, "CoreInit", coreInit) && Resolve(module_, "CoreScan", coreScan) &&
        Resolve(module_, "CoreUninit", coreUninit) &&
        Resolve(module_, "CoreDisinfect", coreDisinfect);
  if (!ok_) {
    error_ = path + " lacks one of the six exports";
  }
}

LibraryExports::~LibraryExports() {
  if (module_ != nullptr) {
    platform::FreeModule(module_);
  }
}

}  // namespace sondrel::test
