#include "tools/scan/library.h"

#include "platform/process_info.h"
#include "platform/utf8.h"

namespace sondrel::scan_tool {
namespace {

template <typename Function>
bool Resolve(platform::ModuleHandle module, Function& function, const char* name,
             std::ostream& err) {
  function = reinterpret_cast<Function>(platform::GetModuleSymbol(module, name));
  if (function == nullptr) {
    err << "sondrel-scan: the library does not export " << name << "\n";
  }
  return function != nullptr;
}

}  // namespace

Library::~Library() {
  if (module != nullptr) {
    platform::FreeModule(module);
  }
}

bool Library::Load(const std::wstring& path, std::ostream& err) {
  uint32_t error = 0;
  module = platform::LoadModule(path, &error);
  if (module == nullptr) {
    err << "sondrel-scan: cannot load " << platform::ToUtf8(path) << ": "
        << platform::LastModuleError() << "\n";
    return false;
  }
  return Resolve(module, coreNew, "CoreNew", err) && Resolve(module, coreFree, "CoreFree", err) &&
         Resolve(module, coreInit, "CoreInit", err) && Resolve(module, coreScan, "CoreScan", err) &&
         Resolve(module, coreUninit, "CoreUninit", err) &&
         Resolve(module, coreDisinfect, "CoreDisinfect", err);
}

std::wstring DefaultLibraryPath() {
  return platform::ExecutableDirectory() + platform::ToWide(SONDREL_LIBRARY_FILE_NAME);
}

}  // namespace sondrel::scan_tool
