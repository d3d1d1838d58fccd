// Facts about the running process and machine.
#pragma once

#include <cstdint>
#include <string>

namespace sondrel::platform {

// Full path of the host process's executable image.
std::wstring ExecutablePath();
// Directory of the host process's executable, with a trailing separator.
std::wstring ExecutableDirectory();
// Full path of the module (shared library or executable) that contains this code.
std::wstring ThisModulePath();
// The machine-wide application data folder (the common application data folder of Windows).
std::wstring CommonAppDataFolder();

uint32_t ProcessId();
// The calling thread's kernel id, low 32 bits.
uint32_t CurrentThreadId();
// The machine's host name, or an empty string when the system does not give one.
std::string HostName();

}  // namespace sondrel::platform
