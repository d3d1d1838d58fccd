#include "companions/companion_paths.h"

#include "platform/module_loader.h"
#include "platform/path.h"
#include "platform/process_info.h"

namespace sondrel {
namespace {

std::wstring LibraryFileName(const wchar_t* baseName) {
  return baseName + platform::ModuleSuffix();
}

}  // namespace

std::wstring LibraryDirectory() {
  std::wstring directory = platform::ThisModulePath();
  if (directory.empty() || !platform::PathRemoveFileSpec(directory)) {
    return {};
  }
  platform::PathAddSeparator(directory);
  return directory;
}

std::wstring CacheLibraryName() {
  return LibraryFileName(L"Merrin");
}

std::wstring MonitorReceiverLibraryName() {
  return LibraryFileName(L"ostrel");
}

std::wstring InternalMonitorLibraryName() {
  return LibraryFileName(L"Kalvix");
}

std::wstring CacheLibraryPath() {
  return LibraryDirectory() + CacheLibraryName();
}

std::wstring MonitorReceiverLibraryPath() {
  return platform::ExecutableDirectory() + MonitorReceiverLibraryName();
}

}  // namespace sondrel
