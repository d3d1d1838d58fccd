// A temporary directory that lives as long as the object.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace sondrel::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The directory as the library's wide paths write it, with a trailing separator.
  std::wstring wide() const;
  // Writes a file (creating its parent directories) and returns its path.
  std::filesystem::path Write(const std::filesystem::path& relative,
                              std::string_view content) const;

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);

}  // namespace sondrel::test
