// The files sondrel-scan is to scan, one at a time: the paths of the command line and of
// --files-from in their order, each directory walked depth first with its entries sorted by
// name, so that the order is the same on every run. Only the directories on the way to the
// current entry are held, so a tree or a path list of any size streams.
#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sondrel::scan_tool {

struct PathEntry {
  enum class Kind {
    File,     // a regular file to scan
    Error,    // a path that could not be read: `note` says why
    Skipped,  // not a regular file, or not followed: `note` says why
  };
  std::string path;
  Kind kind = Kind::File;
  std::string note;
  uint64_t size = 0;
};

struct PathRules {
  std::vector<std::string> excludes;
  bool followSymlinks = false;
};

class PathSource {
 public:
  // `list` (may be null) yields further paths after `paths`, separated by `separator`.
  PathSource(std::vector<std::string> paths, std::istream* list, char separator, PathRules rules);

  // The next entry; nothing when all are done.
  std::optional<PathEntry> Next();

 private:
  struct Directory {
    std::filesystem::path path;
    std::vector<std::filesystem::path> entries;  // sorted
    size_t next = 0;
    std::filesystem::path identity;  // canonical, to stop loops through followed links
  };

  // The next path of the command line or of the list.
  std::optional<std::string> NextNamedPath(bool& fromCommandLine);
  // The entry for `path`; a directory is entered and gives no entry itself. A named path (of the
  // command line or the list) is followed when it is a link; excludes apply to the others.
  std::optional<PathEntry> Visit(const std::filesystem::path& path, bool named);
  std::optional<PathEntry> Enter(const std::filesystem::path& path);
  bool Excluded(const std::filesystem::path& path) const;

  std::vector<std::string> paths_;
  size_t nextPath_ = 0;
  std::istream* list_;
  char separator_;
  PathRules rules_;
  std::vector<Directory> stack_;
};

}  // namespace sondrel::scan_tool
