#include "platform/device_names.h"

#include <atomic>

namespace sondrel::platform {
namespace {

class SystemDeviceNameResolver final : public DeviceNameResolver {
 public:
  std::optional<std::wstring> QueryDosDevice(const std::wstring&) const override {
    return std::nullopt;
  }
};

std::shared_ptr<const DeviceNameResolver> SystemResolver() {
  static const auto resolver = std::make_shared<const SystemDeviceNameResolver>();
  return resolver;
}

std::shared_ptr<const DeviceNameResolver>& InstalledResolver() {
  static std::shared_ptr<const DeviceNameResolver> resolver = SystemResolver();
  return resolver;
}

}  // namespace

std::optional<std::wstring> QueryDosDevice(const std::wstring& drive) {
  return std::atomic_load(&InstalledResolver())->QueryDosDevice(drive);
}

std::shared_ptr<const DeviceNameResolver> SetDeviceNameResolver(
    std::shared_ptr<const DeviceNameResolver> resolver) {
  if (!resolver) {
    resolver = SystemResolver();
  }
  return std::atomic_exchange(&InstalledResolver(), std::move(resolver));
}

}  // namespace sondrel::platform
