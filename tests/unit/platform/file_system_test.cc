#include "platform/file_system.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace sondrel::platform {
namespace {

TEST(FileSystemTest, ExistenceAndDirectoryCreation) {
  test::TempDir dir;
  const std::wstring sub = dir.wide() + L"sub";
  EXPECT_FALSE(FileExists(sub));
  EXPECT_EQ(CreateDirectory(sub), CreateDirectoryResult::kCreated);
  EXPECT_EQ(CreateDirectory(sub), CreateDirectoryResult::kAlreadyExists);
  EXPECT_EQ(CreateDirectory(dir.wide() + L"missing/child"), CreateDirectoryResult::kFailed);
  EXPECT_TRUE(DirectoryExists(sub));
  EXPECT_TRUE(FileExists(sub));
  EXPECT_FALSE(FileExists(L""));

  dir.Write("file.txt", "x");
  EXPECT_TRUE(FileExists(dir.wide() + L"file.txt"));
  EXPECT_FALSE(DirectoryExists(dir.wide() + L"file.txt"));
}

TEST(FileSystemTest, MoveReplacesAndDeleteRemoves) {
  test::TempDir dir;
  dir.Write("a", "new");
  dir.Write("b", "old");
  EXPECT_TRUE(MoveFileReplace(dir.wide() + L"a", dir.wide() + L"b"));
  EXPECT_FALSE(FileExists(dir.wide() + L"a"));
  EXPECT_EQ(test::ReadFile(dir.path() / "b"), "new");
  EXPECT_FALSE(MoveFileReplace(dir.wide() + L"a", dir.wide() + L"c"));
  EXPECT_TRUE(DeleteFile(dir.wide() + L"b"));
  EXPECT_FALSE(DeleteFile(dir.wide() + L"b"));
}

TEST(FileSystemTest, WidePathsAreUtf8OnDisk) {
  test::TempDir dir;
  dir.Write("\xC3\xA9t\xC3\xA9.txt", "x");
  EXPECT_TRUE(FileExists(dir.wide() + L"\u00E9t\u00E9.txt"));
}

}  // namespace
}  // namespace sondrel::platform
