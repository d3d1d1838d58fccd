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

}  // namespace sondrel::platform
