#include "platform/path.h"

namespace sondrel::platform {

bool IsPathSeparator(wchar_t c) {
  return c == kPathSeparator;
}

bool PathRemoveFileSpec(std::wstring& path) {
  const auto pos = path.find_last_of(kPathSeparator);
  if (pos == std::wstring::npos) {
    const bool removed = !path.empty();
    path.clear();
    return removed;
  }
  if (pos == 0) {
    const bool removed = path.size() > 1;
    path.resize(1);
    return removed;
  }
  path.resize(pos);
  return true;
}

void PathAddSeparator(std::wstring& path) {
  if (!path.empty() && !IsPathSeparator(path.back())) {
    path.push_back(kPathSeparator);
  }
}

void PathRemoveSeparator(std::wstring& path) {
  if (path.size() > 1 && IsPathSeparator(path.back())) {
    path.pop_back();
  }
}

std::wstring_view PathFindFileName(std::wstring_view path) {
  const auto pos = path.find_last_of(kPathSeparator);
  return pos == std::wstring_view::npos ? path : path.substr(pos + 1);
}

void PathRemoveExtension(std::wstring& path) {
  const std::wstring_view name = PathFindFileName(path);
  const auto dot = name.find_last_of(L'.');
  if (dot != std::wstring_view::npos) {
    path.resize(path.size() - name.size() + dot);
  }
}

bool PathIsRelative(std::wstring_view path) {
  return path.empty() || !IsPathSeparator(path.front());
}

std::wstring PathJoin(std::wstring_view directory, std::wstring_view piece) {
  while (!piece.empty() && IsPathSeparator(piece.front())) {
    piece.remove_prefix(1);
  }
  std::wstring joined(directory);
  PathAddSeparator(joined);
  joined.append(piece);
  return joined;
}

std::wstring PathParent(std::wstring_view path) {
  std::wstring parent(path);
  PathRemoveSeparator(parent);
  PathRemoveFileSpec(parent);
  return parent;
}

}  // namespace sondrel::platform
