// The library's six functions, resolved at run time as a host product resolves them.
#pragma once

#include <ostream>
#include <string>

#include "platform/module_loader.h"
#include "sondrel/sondrel.h"

namespace sondrel::scan_tool {

struct Library {
  platform::ModuleHandle module = nullptr;
  decltype(&CoreNew) coreNew = nullptr;
  decltype(&CoreFree) coreFree = nullptr;
  decltype(&CoreInit) coreInit = nullptr;
  decltype(&CoreScan) coreScan = nullptr;
  decltype(&CoreUninit) coreUninit = nullptr;
  decltype(&CoreDisinfect) coreDisinfect = nullptr;

  Library() = default;
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // Loads the library and resolves the six functions; says why on `err` when it cannot.
  bool Load(const std::wstring& path, std::ostream& err);
};

// The library beside the program, by its SONAME (libsondrel.so.<major>).
std::wstring DefaultLibraryPath();

}  // namespace sondrel::scan_tool
