#include "platform/environment.h"

#include <cstdlib>

#include "platform/utf8.h"

namespace sondrel::platform {

std::optional<std::wstring> EnvironmentPath(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') {
    return std::nullopt;
  }
  return Utf8ToWide(value);
}

void SetEnvironment(const char* name, const std::string& value) {
  setenv(name, value.c_str(), 1);
}

std::string MakePrivateTemporaryDirectory(const std::string& prefix) {
  const char* base = std::getenv("TMPDIR");
  std::string path =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + prefix + "XXXXXX";
  if (mkdtemp(path.data()) == nullptr) {
    return {};
  }
  return path;
}

}  // namespace sondrel::platform
