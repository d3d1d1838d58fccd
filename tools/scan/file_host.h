// The host side of one request: a file on disk behind the library's host callbacks (size, read,
// and write for a disinfection).
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "sondrel/sondrel.h"

namespace sondrel::scan_tool {

class FileHost {
 public:
  // Opens the file for reading, and for writing too when `writable`.
  FileHost(const std::string& path, bool writable);

  bool opened() const { return file_ != nullptr; }
  // The system's error number when the file could not be opened.
  int openError() const { return openError_; }
  const HostCallbacks& callbacks() const { return callbacks_; }

 private:
  static int32_t GetSize(uint32_t* low, uint32_t* high, void* user);
  static int32_t Read(void* buffer, const HostFileRange* range, uint32_t* read, void* user);
  static int32_t Write(const void* source, const HostFileRange* range, uint32_t* written,
                       void* user);

  std::unique_ptr<std::FILE, decltype(&std::fclose)> file_;
  int openError_;
  HostCallbacks callbacks_{};
};

}  // namespace sondrel::scan_tool
