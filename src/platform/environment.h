// The process environment: the variables through which a program tells the library where its
// settings and its logging configuration are.
#pragma once

#include <optional>
#include <string>

namespace sondrel::platform {

// The value of the environment variable `name`, converted from UTF-8; nothing when it is unset,
// empty or not valid UTF-8.
std::optional<std::wstring> EnvironmentPath(const char* name);

}  // namespace sondrel::platform
