// Watching one file for changes: written, replaced (a new file renamed over it), created,
// removed, or its permissions changed. The file need not exist, nor its directory: a directory
// that is missing is looked for again every second, and its appearance counts as a change.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace sondrel::platform {

class FileWatcher {
 public:
  using Changed = std::function<void()>;

  FileWatcher();
  FileWatcher(const FileWatcher&) = delete;
  FileWatcher& operator=(const FileWatcher&) = delete;
  ~FileWatcher();

  // Watches `path` on a thread of its own, on which `changed` runs once for each batch of
  // changes the system reports after Start returned. False when it is already watching or the
  // system refuses a watch.
  bool Start(const std::wstring& path, Changed changed);
  // Ends the watch: once it returns, `changed` is not running and will not run again.
  void Stop();

 private:
  struct Watch;
  std::unique_ptr<Watch> watch_;
};

}  // namespace sondrel::platform
