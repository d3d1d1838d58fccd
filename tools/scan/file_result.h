// What became of one path.
#pragma once

#include <cstdint>
#include <string>

namespace sondrel::scan_tool {

struct FileResult {
  enum class Kind {
    Ok,          // scanned, nothing found (or disinfected)
    Found,       // the server reported something
    Error,       // could not be read, or the request failed
    NotScanned,  // the library did not scan it remotely
    Skipped,     // not a regular file
  };
  std::string path;
  Kind kind = Kind::Ok;
  std::string threat;  // for Found
  std::string note;    // for Error, NotScanned and Skipped
  int32_t status = 0;
  int32_t verdict = 0;
  int32_t flags = 0;
  uint64_t bytes = 0;
  int64_t milliseconds = 0;
};

const char* KindName(FileResult::Kind kind);

}  // namespace sondrel::scan_tool
