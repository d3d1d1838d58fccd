// Mapping of a drive ("C:") to its device name ("\Device\HarddiskVolume2"). This platform has no
// drive letters, so the system lookup always fails and callers use paths as they stand; tests
// install their own resolver to exercise the device form.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace sondrel::platform {

class DeviceNameResolver {
 public:
  virtual ~DeviceNameResolver() = default;
  // The device name of a drive such as L"C:", or nothing when the drive is unknown.
  virtual std::optional<std::wstring> QueryDosDevice(const std::wstring& drive) const = 0;
};

// Looks a drive up through the resolver in use (the system one unless a test installed another).
std::optional<std::wstring> QueryDosDevice(const std::wstring& drive);
// Installs a resolver (null restores the system one). Returns the previous one.
std::shared_ptr<const DeviceNameResolver> SetDeviceNameResolver(
    std::shared_ptr<const DeviceNameResolver> resolver);

}  // namespace sondrel::platform
