// Paths excluded from the next cache use: each one excludes one later request, as it stands or
// in its device form.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/device_names.h"
#include "scan/cache_exclusions.h"

namespace sondrel::test {
namespace {

class DriveD : public platform::DeviceNameResolver {
 public:
  std::optional<std::wstring> QueryDosDevice(const std::wstring& drive) const override {
    if (drive == L"D:") {
      return L"\\Device\\HarddiskVolume4";
    }
    return std::nullopt;
  }
};

TEST(CacheExclusionsTest, EachPathExcludesOneLaterRequest) {
  const auto previous = platform::SetDeviceNameResolver(std::make_shared<DriveD>());
  CacheExclusions exclusions;
  EXPECT_FALSE(exclusions.Take("D:\\a.exe"));
  exclusions.Add("D:\\a.exe");
  exclusions.Add("D:\\b.exe");
  exclusions.Add("/home/user/c.bin");
  exclusions.Add("/home/user/c.bin");
  exclusions.Add(std::string(260, 'x'));  // longer than a path can be: skipped
  exclusions.Add("bad \xC3\x28 text");    // not UTF-8: skipped

  EXPECT_TRUE(exclusions.Take("D:\\a.exe"));
  EXPECT_FALSE(exclusions.Take("D:\\a.exe"));
  EXPECT_TRUE(exclusions.Take("\\Device\\HarddiskVolume4\\b.exe"));
  EXPECT_TRUE(exclusions.Take("/home/user/c.bin"));
  EXPECT_FALSE(exclusions.Take("/home/user/c.bin"));
  EXPECT_TRUE(exclusions.empty());

  exclusions.Add(std::string(259, 'y'));
  EXPECT_TRUE(exclusions.Take(std::string(259, 'y')));
  platform::SetDeviceNameResolver(previous);
}

}  // namespace
}  // namespace sondrel::test
