#include "companions/companion_paths.h"

#include <gtest/gtest.h>

#include "platform/path.h"
#include "platform/process_info.h"

namespace sondrel {
namespace {

TEST(CompanionPathsTest, EachLibraryKeepsItsBaseNameWithThePlatformSuffix) {
  // The tests link the library code statically, so "this library" is the test program.
  std::wstring ownDirectory = platform::ThisModulePath();
  ASSERT_TRUE(platform::PathRemoveFileSpec(ownDirectory));
  platform::PathAddSeparator(ownDirectory);

  EXPECT_EQ(LibraryDirectory(), ownDirectory);
  EXPECT_EQ(CacheLibraryPath(), ownDirectory + L"Merrin.so");
  EXPECT_EQ(MonitorReceiverLibraryPath(), platform::ExecutableDirectory() + L"ostrel.so");
  EXPECT_EQ(InternalMonitorLibraryName(), L"Kalvix.so");
}

}  // namespace
}  // namespace sondrel
