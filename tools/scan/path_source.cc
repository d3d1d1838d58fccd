#include "tools/scan/path_source.h"

#include <algorithm>
#include <system_error>

#include "platform/console.h"

namespace sondrel::scan_tool {
namespace fs = std::filesystem;

namespace {

std::string Reason(const std::error_code& error) {
  return error.message();
}

}  // namespace

PathSource::PathSource(std::vector<std::string> paths, std::istream* list, char separator,
                       PathRules rules)
    : paths_(std::move(paths)), list_(list), separator_(separator), rules_(std::move(rules)) {}

std::optional<std::string> PathSource::NextNamedPath(bool& fromCommandLine) {
  fromCommandLine = nextPath_ < paths_.size();
  if (fromCommandLine) {
    return paths_[nextPath_++];
  }
  std::string line;
  while (list_ != nullptr && std::getline(*list_, line, separator_)) {
    if (separator_ == '\n' && !line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (!line.empty()) {
      return line;
    }
  }
  return std::nullopt;
}

bool PathSource::Excluded(const fs::path& path) const {
  const std::string whole = path.native();
  const std::string name = path.filename().native();
  return std::any_of(rules_.excludes.begin(), rules_.excludes.end(), [&](const std::string& glob) {
    return platform::MatchesPattern(glob, glob.find('/') == std::string::npos ? name : whole);
  });
}

std::optional<PathEntry> PathSource::Next() {
  while (true) {
    if (!stack_.empty()) {
      Directory& directory = stack_.back();
      if (directory.next == directory.entries.size()) {
        stack_.pop_back();
        continue;
      }
      const fs::path path = directory.entries[directory.next++];
      if (std::optional<PathEntry> entry = Visit(path, false)) {
        return entry;
      }
      continue;
    }
    bool fromCommandLine = false;
    const std::optional<std::string> named = NextNamedPath(fromCommandLine);
    if (!named) {
      return std::nullopt;
    }
    if (!fromCommandLine && Excluded(*named)) {
      continue;
    }
    if (std::optional<PathEntry> entry = Visit(*named, true)) {
      return entry;
    }
  }
}

std::optional<PathEntry> PathSource::Visit(const fs::path& path, bool named) {
  PathEntry entry;
  entry.path = path.native();
  if (!named && Excluded(path)) {
    return std::nullopt;
  }
  std::error_code error;
  const fs::file_status own = fs::symlink_status(path, error);
  if (error) {
    entry.kind = PathEntry::Kind::Error;
    entry.note = Reason(error);
    return entry;
  }
  if (fs::is_symlink(own) && !named && !rules_.followSymlinks) {
    // Links inside trees are not followed unless asked: they are left out silently.
    return std::nullopt;
  }
  const fs::file_status status = fs::is_symlink(own) ? fs::status(path, error) : own;
  if (error) {
    entry.kind = PathEntry::Kind::Error;
    entry.note = fs::is_symlink(own) ? "broken symbolic link" : Reason(error);
    return entry;
  }
  if (fs::is_directory(status)) {
    return Enter(path);
  }
  if (!fs::is_regular_file(status)) {
    entry.kind = PathEntry::Kind::Skipped;
    entry.note = "not a regular file";
    return entry;
  }
  entry.size = fs::file_size(path, error);
  if (error) {
    entry.kind = PathEntry::Kind::Error;
    entry.note = Reason(error);
  }
  return entry;
}

std::optional<PathEntry> PathSource::Enter(const fs::path& path) {
  PathEntry failure;
  failure.path = path.native();
  failure.kind = PathEntry::Kind::Error;
  std::error_code error;
  Directory directory;
  directory.path = path;
  directory.identity = fs::canonical(path, error);
  if (error) {
    failure.note = Reason(error);
    return failure;
  }
  for (const Directory& open : stack_) {
    if (open.identity == directory.identity) {
      // A link back into a directory being walked: walking it again would never end.
      return std::nullopt;
    }
  }
  fs::directory_iterator it(path, error);
  if (error) {
    failure.note = "cannot read directory: " + Reason(error);
    return failure;
  }
  for (const fs::directory_iterator end; it != end; it.increment(error)) {
    directory.entries.push_back(it->path());
  }
  if (error) {
    failure.note = "cannot read directory: " + Reason(error);
    return failure;
  }
  std::sort(directory.entries.begin(), directory.entries.end());
  stack_.push_back(std::move(directory));
  return std::nullopt;
}

}  // namespace sondrel::scan_tool
