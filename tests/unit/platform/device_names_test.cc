#include "platform/device_names.h"

#include <gtest/gtest.h>

namespace sondrel::platform {
namespace {

class FakeResolver final : public DeviceNameResolver {
 public:
  std::optional<std::wstring> QueryDosDevice(const std::wstring& drive) const override {
    if (drive == L"C:") {
      return L"\\Device\\HarddiskVolume2";
    }
    return std::nullopt;
  }
};

TEST(DeviceNamesTest, SystemLookupFailsAndATestResolverCanAnswer) {
  EXPECT_FALSE(QueryDosDevice(L"C:").has_value());
  const auto previous = SetDeviceNameResolver(std::make_shared<FakeResolver>());
  EXPECT_EQ(QueryDosDevice(L"C:"), L"\\Device\\HarddiskVolume2");
  EXPECT_FALSE(QueryDosDevice(L"D:").has_value());
  SetDeviceNameResolver(nullptr);
  EXPECT_FALSE(QueryDosDevice(L"C:").has_value());
  EXPECT_NE(previous, nullptr);
}

}  // namespace
}  // namespace sondrel::platform
