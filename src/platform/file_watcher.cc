#include "platform/file_watcher.h"

#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string_view>
#include <system_error>
#include <thread>

#include "platform/file_system.h"
#include "platform/path.h"

namespace sondrel::platform {
namespace {

constexpr uint32_t kFileEvents =
    IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr uint32_t kDirectoryGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED;
constexpr int kRetryMs = 1000;

}  // namespace

struct FileWatcher::Watch {
  std::string directory;
  std::string name;
  Changed changed;
  int inotify = -1;
  int stop = -1;
  int descriptor = -1;
  std::thread thread;

  ~Watch() {
    if (inotify >= 0) {
      close(inotify);
    }
    if (stop >= 0) {
      close(stop);
    }
  }

  // Watches the directory; true when that is new (the directory appeared).
  bool AddWatch() {
    if (descriptor >= 0) {
      return false;
    }
    descriptor = inotify_add_watch(inotify, directory.c_str(), kFileEvents | kDirectoryGone);
    return descriptor >= 0;
  }

  // Reads the pending events; true when one concerns the file or its directory went away.
  bool ReadEvents() {
    alignas(inotify_event) std::array<char, 16 * 1024> buffer;
    bool concerned = false;
    while (true) {
      const ssize_t length = read(inotify, buffer.data(), buffer.size());
      if (length <= 0) {
        return concerned;
      }
      for (ssize_t offset = 0; offset + static_cast<ssize_t>(sizeof(inotify_event)) <= length;) {
        inotify_event event;
        std::memcpy(&event, buffer.data() + offset, sizeof(event));
        const char* eventName = buffer.data() + offset + sizeof(inotify_event);
        offset += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
        if (event.wd != descriptor) {
          continue;
        }
        if ((event.mask & kDirectoryGone) != 0) {
          if ((event.mask & IN_IGNORED) == 0) {
            inotify_rm_watch(inotify, descriptor);
          }
          descriptor = -1;
          concerned = true;
        } else if (event.len > 0 && name == std::string_view(eventName)) {
          concerned = true;
        }
      }
    }
  }

  void Run() {
    bool missing = descriptor < 0;
    while (true) {
      if (missing && AddWatch()) {
        missing = false;
        changed();
      }
      std::array<pollfd, 2> fds = {pollfd{stop, POLLIN, 0}, pollfd{inotify, POLLIN, 0}};
      const int ready = poll(fds.data(), fds.size(), missing ? kRetryMs : -1);
      if (ready < 0 && errno != EINTR) {
        return;
      }
      if ((fds[0].revents & POLLIN) != 0) {
        return;
      }
      if ((fds[1].revents & POLLIN) != 0 && ReadEvents()) {
        missing = descriptor < 0;
        changed();
      }
    }
  }
};

FileWatcher::FileWatcher() = default;

FileWatcher::~FileWatcher() {
  Stop();
}

bool FileWatcher::Start(const std::wstring& path, Changed changed) {
  if (watch_ != nullptr) {
    return false;
  }
  auto watch = std::make_unique<Watch>();
  std::wstring directory = PathParent(path);
  watch->directory = NativePath(directory.empty() ? L"." : directory);
  watch->name = NativePath(std::wstring(PathFindFileName(path)));
  watch->changed = std::move(changed);
  watch->inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  watch->stop = eventfd(0, EFD_CLOEXEC);
  if (watch->inotify < 0 || watch->stop < 0 || watch->name.empty()) {
    return false;
  }
  // Watched before Start returns, so that no change after it is missed.
  watch->AddWatch();
  Watch* running = watch.get();
  try {
    watch->thread = std::thread([running] { running->Run(); });
  } catch (const std::system_error&) {
    return false;
  }
  watch_ = std::move(watch);
  return true;
}

void FileWatcher::Stop() {
  if (watch_ == nullptr) {
    return;
  }
  const uint64_t one = 1;
  // The thread ends at its next wake-up; the write only fails when the counter is full.
  [[maybe_unused]] const ssize_t written = write(watch_->stop, &one, sizeof(one));
  watch_->thread.join();
  watch_.reset();
}

}  // namespace sondrel::platform
