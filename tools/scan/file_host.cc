#include "tools/scan/file_host.h"

#include <cerrno>
#include <limits>

namespace sondrel::scan_tool {
namespace {

// Failures reported to the library: the file cannot be positioned, read or written.
constexpr int32_t kSeekFailed = 25;
constexpr int32_t kReadFailed = 30;
constexpr int32_t kWriteFailed = 29;

bool SeekTo(std::FILE* file, uint64_t offset) {
  return offset <= static_cast<uint64_t>(std::numeric_limits<long>::max()) &&
         std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0;
}

}  // namespace

FileHost::FileHost(const std::string& path, bool writable)
    : file_(std::fopen(path.c_str(), writable ? "r+b" : "rb"), &std::fclose),
      openError_(file_ == nullptr ? errno : 0) {
  callbacks_.user = this;
  callbacks_.getSize = &GetSize;
  callbacks_.read = &Read;
  callbacks_.write = &Write;
  // The tool has no process information to give: the value stays 0.
  callbacks_.getProcInfo = [](int32_t*, void*) { return int32_t{0}; };
}

int32_t FileHost::GetSize(uint32_t* low, uint32_t* high, void* user) {
  std::FILE* file = static_cast<FileHost*>(user)->file_.get();
  if (std::fseek(file, 0, SEEK_END) != 0) {
    return kSeekFailed;
  }
  const long size = std::ftell(file);
  if (size < 0) {
    return kSeekFailed;
  }
  *low = static_cast<uint32_t>(size);
  *high = static_cast<uint32_t>(static_cast<uint64_t>(size) >> 32);
  return 0;
}

int32_t FileHost::Read(void* buffer, const HostFileRange* range, uint32_t* read, void* user) {
  std::FILE* file = static_cast<FileHost*>(user)->file_.get();
  *read = 0;
  if (!SeekTo(file, range->offset)) {
    return kSeekFailed;
  }
  *read = static_cast<uint32_t>(std::fread(buffer, 1, range->count, file));
  return std::ferror(file) != 0 ? kReadFailed : 0;
}

int32_t FileHost::Write(const void* source, const HostFileRange* range, uint32_t* written,
                        void* user) {
  std::FILE* file = static_cast<FileHost*>(user)->file_.get();
  *written = 0;
  if (!SeekTo(file, range->offset)) {
    return kSeekFailed;
  }
  *written = static_cast<uint32_t>(std::fwrite(source, 1, range->count, file));
  return *written == range->count && std::fflush(file) == 0 ? 0 : kWriteFailed;
}

}  // namespace sondrel::scan_tool
