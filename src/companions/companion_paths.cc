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

std::wstring CacheLibraryPath() {
  return LibraryDirectory() + LibraryFileName(L"Merrin");
}

std::wstring MonitorReceiverLibraryPath() {
  return platform::ExecutableDirectory() + LibraryFileName(L"ostrel");
}

std::wstring InternalMonitorLibraryName() {
  return LibraryFileName(L"Kalvix");
}

}  // namespace sondrel
