// libsondrel.so loaded at run time, as a host product loads it, and its six exports.
#pragma once

#include <string>

#include "platform/module_loader.h"
#include "sondrel/sondrel.h"

namespace sondrel::test {

class LibraryExports {
 public:
  // Loads the library at `path`; `ok()` tells whether it and all six exports were found, and
  // `error()` why not.
  explicit LibraryExports(const std::string& path);
  ~LibraryExports();
  LibraryExports(const LibraryExports&) = delete;
  LibraryExports& operator=(const LibraryExports&) = delete;

  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }

  decltype(&::CoreNew) coreNew = nullptr;
  decltype(&::CoreFree) coreFree = nullptr;
  decltype(&::CoreInit) coreInit = nullptr;
  decltype(&::CoreScan) coreScan = nullptr;
  decltype(&::CoreUninit) coreUninit = nullptr;
  decltype(&::CoreDisinfect) coreDisinfect = nullptr;

 private:
  platform::ModuleHandle module_ = nullptr;
  bool ok_ = false;
  std::string error_;
};

}  // namespace sondrel::test
