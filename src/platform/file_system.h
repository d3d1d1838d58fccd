// The few file-system operations the library needs, on wide paths.
#pragma once

#include <string>

namespace sondrel::platform {

bool FileExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);

enum class CreateDirectoryResult { kCreated, kAlreadyExists, kFailed };
// Creates one directory (its parent must exist).
CreateDirectoryResult CreateDirectory(const std::wstring& path);

bool DeleteFile(const std::wstring& path);
// Moves a file, replacing an existing target, and flushes the rename to disk.
bool MoveFileReplace(const std::wstring& from, const std::wstring& to);

// The path as the operating system's file functions take it.
std::string NativePath(const std::wstring& path);

}  // namespace sondrel::platform
