// Loading companion libraries at run time.
#pragma once

#include <cstdint>
#include <string>

namespace sondrel::platform {

using ModuleHandle = void*;

// The error code reported when loading fails and the system gives no code of its own.
inline constexpr uint32_t kModuleNotFoundError = 632;

// The platform's file-name suffix of a loadable module (".so").
std::wstring ModuleSuffix();

// Loads a module with every symbol resolved at once and kept local to it. Returns null on
// failure and stores a non-zero code in *error (when error is not null).
ModuleHandle LoadModule(const std::wstring& path, uint32_t* error);
// The address of an exported symbol, or null.
void* GetModuleSymbol(ModuleHandle module, const char* name);
void FreeModule(ModuleHandle module);
// The system's description of the last loading failure on this thread ("" when none).
std::string LastModuleError();

}  // namespace sondrel::platform
