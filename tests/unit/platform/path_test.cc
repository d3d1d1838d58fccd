#include "platform/path.h"

#include <gtest/gtest.h>

namespace sondrel::platform {
namespace {

struct RemoveFileSpecCase {
  std::wstring in;
  std::wstring out;
  bool removed;
};

TEST(PathTest, RemoveFileSpec) {
  const RemoveFileSpecCase cases[] = {
      {L"/a/b/c", L"/a/b", true}, {L"/a/b/", L"/a/b", true}, {L"/a", L"/", true},
      {L"/", L"/", false},        {L"name", L"", true},      {L"", L"", false},
  };
  for (const auto& c : cases) {
    std::wstring path = c.in;
    EXPECT_EQ(PathRemoveFileSpec(path), c.removed) << c.in;
    EXPECT_EQ(path, c.out) << c.in;
  }
}

TEST(PathTest, SeparatorsAreAddedAndRemovedOnce) {
  const std::pair<std::wstring, std::wstring> added[] = {
      {L"/a", L"/a/"}, {L"/a/", L"/a/"}, {L"", L""}};
  for (const auto& [in, out] : added) {
    std::wstring path = in;
    PathAddSeparator(path);
    EXPECT_EQ(path, out) << in;
  }
  const std::pair<std::wstring, std::wstring> removed[] = {
      {L"/a/", L"/a"}, {L"/a", L"/a"}, {L"/", L"/"}, {L"", L""}};
  for (const auto& [in, out] : removed) {
    std::wstring path = in;
    PathRemoveSeparator(path);
    EXPECT_EQ(path, out) << in;
  }
}

TEST(PathTest, FileNameExtensionAndRelativity) {
  EXPECT_EQ(PathFindFileName(L"/opt/host/scanner.bin"), L"scanner.bin");
  EXPECT_EQ(PathFindFileName(L"scanner"), L"scanner");
  EXPECT_EQ(PathFindFileName(L"/opt/"), L"");

  std::wstring path = L"/opt/host.d/scanner.bin";
  PathRemoveExtension(path);
  EXPECT_EQ(path, L"/opt/host.d/scanner");
  path = L"/opt/host.d/scanner";
  PathRemoveExtension(path);
  EXPECT_EQ(path, L"/opt/host.d/scanner");

  EXPECT_FALSE(PathIsRelative(L"/var/log"));
  EXPECT_TRUE(PathIsRelative(L"logs/sondrel"));
  EXPECT_TRUE(PathIsRelative(L""));
}

TEST(PathTest, JoinUsesExactlyOneSeparator) {
  EXPECT_EQ(PathJoin(L"/a", L"b"), L"/a/b");
  EXPECT_EQ(PathJoin(L"/a/", L"b"), L"/a/b");
  EXPECT_EQ(PathJoin(L"/a", L"//b"), L"/a/b");
  EXPECT_EQ(PathJoin(L"/a", L"/update.txt"), L"/a/update.txt");
  EXPECT_EQ(PathJoin(L"", L"/b"), L"b");
  EXPECT_EQ(PathParent(L"/a/b/c"), L"/a/b");
  EXPECT_EQ(PathParent(L"/a/b/"), L"/a");
}

}  // namespace
}  // namespace sondrel::platform
