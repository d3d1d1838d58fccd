// The process environment: the variables through which a program tells the library where its
// settings and its logging configuration are.
#pragma once

#include <optional>
#include <string>

namespace sondrel::platform {

// The value of the environment variable `name`, converted from UTF-8; nothing when it is unset,
// empty or not valid UTF-8.
std::optional<std::wstring> EnvironmentPath(const char* name);

// Sets the variable for this process and the programs it starts from now on.
void SetEnvironment(const char* name, const std::string& value);

// A new directory that only this user can enter, under the system's directory for temporary
// files; empty when none can be made.
std::string MakePrivateTemporaryDirectory(const std::string& prefix);

}  // namespace sondrel::platform
