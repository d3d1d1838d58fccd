#include "platform/shell_command.h"

#include <gtest/gtest.h>

namespace sondrel::platform {
namespace {

TEST(ShellCommandTest, ReturnsTheExitCode) {
  EXPECT_EQ(RunShellCommand("exit 0"), 0);
  EXPECT_EQ(RunShellCommand("exit 3"), 3);
  EXPECT_EQ(RunShellCommand("exit 255"), 255);
}

TEST(ShellCommandTest, AProgramEndedBySignalHasNoExitCode) {
  EXPECT_EQ(RunShellCommand("kill -9 $$"), -1);
}

}  // namespace
}  // namespace sondrel::platform
