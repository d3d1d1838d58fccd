// Watching a file: each kind of change is reported, changes to other files are not, a directory
// that appears later is picked up, and nothing is reported once the watch has stopped.
#include "platform/file_watcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "support/temp_dir.h"

namespace sondrel::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 3000ms) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

class FileWatcherTest : public testing::Test {
 protected:
  void Watch(const fs::path& file) {
    ASSERT_TRUE(watcher_.Start(file.wstring(), [this] { ++changes_; }));
  }

  // Runs `change` and waits until it has been reported.
  void ExpectReported(const std::string& what, const std::function<void()>& change) {
    SCOPED_TRACE(what);
    const int before = changes_;
    change();
    EXPECT_TRUE(WaitFor([&] { return changes_ > before; }));
  }

  test::TempDir directory_;
  std::atomic<int> changes_{0};
  FileWatcher watcher_;
};

TEST_F(FileWatcherTest, EveryKindOfChangeToTheFileIsReported) {
  const fs::path file = directory_.path() / "settings.json";
  Watch(file);
  ExpectReported("created", [&] { std::ofstream(file) << "one"; });
  ExpectReported("written", [&] { std::ofstream(file, std::ios::app) << "two"; });
  ExpectReported("replaced", [&] {
    std::ofstream(directory_.path() / "settings.json.new") << "three";
    fs::rename(directory_.path() / "settings.json.new", file);
  });
  ExpectReported("made unreadable", [&] { fs::permissions(file, fs::perms::none); });
  ExpectReported("removed", [&] { fs::remove(file); });

  // Other files of the directory are none of its business.
  const int before = changes_;
  std::ofstream(directory_.path() / "other.json") << "x";
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(changes_, before);
  EXPECT_FALSE(watcher_.Start(file.wstring(), [] {}));  // one watch at a time
}

TEST_F(FileWatcherTest, ADirectoryThatAppearsLaterIsWatchedFromThen) {
  const fs::path missing = directory_.path() / "settings";
  Watch(missing / "qxcore.xml");
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(changes_, 0);
  ExpectReported("directory created", [&] { fs::create_directories(missing); });
  ExpectReported("file created", [&] { std::ofstream(missing / "qxcore.xml") << "<r/>"; });
  ExpectReported("directory removed", [&] { fs::remove_all(missing); });
  ExpectReported("directory created again", [&] { fs::create_directories(missing); });
}

TEST_F(FileWatcherTest, NothingIsReportedOnceStopped) {
  const fs::path file = directory_.path() / "settings.json";
  Watch(file);
  const auto began = std::chrono::steady_clock::now();
  watcher_.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - began, 500ms);
  std::ofstream(file) << "after";
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(changes_, 0);
  watcher_.Stop();  // a second Stop does nothing
  Watch(file);      // and the watcher can start again
}

}  // namespace
}  // namespace sondrel::platform
