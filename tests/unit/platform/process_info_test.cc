#include "platform/process_info.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/debug_output.h"
#include "platform/path.h"

namespace sondrel::platform {
namespace {

TEST(ProcessInfoTest, ExecutableAndModulePaths) {
  const std::wstring exe = ExecutablePath();
  EXPECT_EQ(PathFindFileName(exe), L"platform_tests");
  EXPECT_EQ(ExecutableDirectory(), exe.substr(0, exe.size() - PathFindFileName(exe).size()));
  // Linked statically into the test program, this code's module is the program itself.
  EXPECT_EQ(ThisModulePath(), exe);
  EXPECT_EQ(CommonAppDataFolder(), L"/var/lib");
}

TEST(ProcessInfoTest, IdsAndHostName) {
  EXPECT_NE(ProcessId(), 0u);
  const uint32_t mine = CurrentThreadId();
  uint32_t other = mine;
  std::thread([&] { other = CurrentThreadId(); }).join();
  EXPECT_NE(mine, other);
  EXPECT_EQ(mine, ProcessId());  // the main thread's id is the process id
  EXPECT_FALSE(HostName().empty());
}

TEST(ProcessInfoTest, DebugOutputGoesToStandardError) {
  testing::internal::CaptureStderr();
  DebugOutput("INFO  line\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "INFO  line\n");
}

}  // namespace
}  // namespace sondrel::platform
