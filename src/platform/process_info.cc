#include "platform/process_info.h"

#include <dlfcn.h>
#include <limits.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>

#include "platform/path.h"
#include "platform/utf8.h"

namespace sondrel::platform {

std::wstring ExecutablePath() {
  std::array<char, PATH_MAX> buffer{};
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) {
    return {};
  }
  return ToWide(std::string_view(buffer.data(), static_cast<size_t>(length)));
}

std::wstring ExecutableDirectory() {
  std::wstring directory = ExecutablePath();
  PathRemoveFileSpec(directory);
  PathAddSeparator(directory);
  return directory;
}

std::wstring ThisModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&ThisModulePath), &info) == 0 ||
      info.dli_fname == nullptr) {
    return {};
  }
  return ToWide(info.dli_fname);
}

std::wstring CommonAppDataFolder() {
  return L"/var/lib";
}

uint32_t ProcessId() {
  return static_cast<uint32_t>(getpid());
}

uint32_t CurrentThreadId() {
  return static_cast<uint32_t>(syscall(SYS_gettid));
}

std::string HostName() {
  std::array<char, HOST_NAME_MAX + 1> buffer{};
  if (gethostname(buffer.data(), buffer.size() - 1) != 0) {
    return {};
  }
  return std::string(buffer.data());
}

}  // namespace sondrel::platform
