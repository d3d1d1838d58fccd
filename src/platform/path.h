// Path helpers over wide strings with the platform separator. Pure string work: nothing here
// touches the file system (see file_system.h for that).
#pragma once

#include <string>
#include <string_view>

namespace sondrel::platform {

inline constexpr wchar_t kPathSeparator = L'/';

bool IsPathSeparator(wchar_t c);

// Removes the last component and the separator before it ("/a/b/c" gives "/a/b", "/a" gives "/",
// "name" gives ""). Returns false when nothing was removed.
bool PathRemoveFileSpec(std::wstring& path);

// Appends one separator unless the path is empty or already ends in one.
void PathAddSeparator(std::wstring& path);

// Removes one trailing separator unless the path is the root itself.
void PathRemoveSeparator(std::wstring& path);

// The last component (everything after the last separator).
std::wstring_view PathFindFileName(std::wstring_view path);

// Removes the extension of the last component ("/a/kalvix.bin" gives "/a/kalvix").
void PathRemoveExtension(std::wstring& path);

bool PathIsRelative(std::wstring_view path);

// Joins a piece to a directory with exactly one separator: leading separators of the piece are
// dropped and one is inserted unless the directory already ends in one. An empty directory
// gives the piece alone.
std::wstring PathJoin(std::wstring_view directory, std::wstring_view piece);

// The directory part of a path without its last component ("/a/b/c" gives "/a/b").
std::wstring PathParent(std::wstring_view path);

}  // namespace sondrel::platform
