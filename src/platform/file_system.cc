#include "platform/file_system.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/path.h"
#include "platform/utf8.h"

namespace sondrel::platform {
namespace {

void SyncDirectoryOf(const std::string& path) {
  std::wstring directory = PathParent(ToWide(path));
  if (directory.empty()) {
    directory = L".";
  }
  const int fd = open(NativePath(directory).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

}  // namespace

std::string NativePath(const std::wstring& path) {
  return ToUtf8(path);
}

bool FileExists(const std::wstring& path) {
  struct stat st {};
  return !path.empty() && stat(NativePath(path).c_str(), &st) == 0;
}

bool DirectoryExists(const std::wstring& path) {
  struct stat st {};
  return !path.empty() && stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

CreateDirectoryResult CreateDirectory(const std::wstring& path) {
  if (mkdir(NativePath(path).c_str(), 0755) == 0) {
    return CreateDirectoryResult::kCreated;
  }
  return errno == EEXIST ? CreateDirectoryResult::kAlreadyExists : CreateDirectoryResult::kFailed;
}

bool DeleteFile(const std::wstring& path) {
  return unlink(NativePath(path).c_str()) == 0;
}

bool MoveFileReplace(const std::wstring& from, const std::wstring& to) {
  const std::string target = NativePath(to);
  if (rename(NativePath(from).c_str(), target.c_str()) != 0) {
    return false;
  }
  SyncDirectoryOf(target);
  return true;
}

}  // namespace sondrel::platform
