#include "logging/settings_builder.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "test_environment.h"

namespace sondrel {
namespace {

TEST(SettingsBuilderTest, NoConfigurationAtAll) {
  test::TestLoggingEnvironment env;
  const LoggerSettings s = BuildLoggerSettings("qx.sondrel.scan.manager", *env.Get());
  EXPECT_EQ(s.level, kLevelInfo);
  EXPECT_EQ(s.filePath, env.Path(L"kalvix4242.log"));
  EXPECT_EQ(s.MaxFileSize, 10);
  EXPECT_EQ(s.MaxBackupIndex, 5);
  EXPECT_EQ(s.outputType, kOutputFile);
  EXPECT_FALSE(s.monitor);
  EXPECT_TRUE(s.loaded);
  EXPECT_EQ(s.category, "qx.sondrel.scan.manager");
}

TEST(SettingsBuilderTest, EnsureDirectoryCreatesParents) {
  test::TempDir dir;
  const std::wstring deep = dir.wide() + L"a/b/c";
  EXPECT_TRUE(EnsureDirectory(deep));
  EXPECT_TRUE(platform::DirectoryExists(deep));
  EXPECT_TRUE(EnsureDirectory(deep));
  dir.Write("file", "x");
  EXPECT_FALSE(EnsureDirectory(dir.wide() + L"file/sub"));
}

}  // namespace
}  // namespace sondrel
