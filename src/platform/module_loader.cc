#include "platform/module_loader.h"

#include <dlfcn.h>
#include <errno.h>

#include "platform/file_system.h"

namespace sondrel::platform {
namespace {

thread_local std::string last_error;

}  // namespace

std::wstring ModuleSuffix() {
  return L".so";
}

ModuleHandle LoadModule(const std::wstring& path, uint32_t* error) {
  errno = 0;
  ModuleHandle module = dlopen(NativePath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const int saved = errno;
    const char* text = dlerror();
    last_error = text != nullptr ? text : "";
    if (error != nullptr) {
      *error = saved != 0 ? static_cast<uint32_t>(saved) : kModuleNotFoundError;
    }
    return nullptr;
  }
  if (error != nullptr) {
    *error = 0;
  }
  return module;
}

void* GetModuleSymbol(ModuleHandle module, const char* name) {
  return module == nullptr ? nullptr : dlsym(module, name);
}

void FreeModule(ModuleHandle module) {
  if (module != nullptr) {
    dlclose(module);
  }
}

std::string LastModuleError() {
  return last_error;
}

}  // namespace sondrel::platform
