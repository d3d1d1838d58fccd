#include "scan/cache_exclusions.h"

#include <mutex>
#include <optional>

#include "platform/device_names.h"
#include "platform/utf8.h"

namespace sondrel {
namespace {

// Characters a path may have, its terminating NUL not counted.
constexpr size_t kMaxPathCharacters = 259;
// "C:": the drive whose device name replaces it.
constexpr size_t kDriveLength = 2;

std::optional<std::wstring> WidePath(std::string_view path) {
  std::optional<std::wstring> wide = platform::Utf8ToWide(path);
  if (!wide || wide->size() > kMaxPathCharacters) {
    return std::nullopt;
  }
  return wide;
}

// The path with its drive replaced by the drive's device name, when the system knows one.
std::optional<std::wstring> DeviceForm(const std::wstring& path) {
  if (path.size() < kDriveLength) {
    return std::nullopt;
  }
  const std::optional<std::wstring> device = platform::QueryDosDevice(path.substr(0, kDriveLength));
  if (!device) {
    return std::nullopt;
  }
  return *device + path.substr(kDriveLength);
}

}  // namespace

void CacheExclusions::Add(std::string_view path) {
  const std::optional<std::wstring> wide = WidePath(path);
  if (!wide) {
    return;
  }
  std::wstring stored = DeviceForm(*wide).value_or(*wide);
  std::lock_guard<boost::recursive_mutex> guard(lock_);
  paths_.insert(std::move(stored));
}

bool CacheExclusions::Take(std::string_view path) {
  if (empty()) {
    return false;
  }
  const std::optional<std::wstring> wide = WidePath(path);
  if (!wide) {
    return false;
  }
  std::lock_guard<boost::recursive_mutex> guard(lock_);
  if (paths_.erase(*wide) > 0) {
    return true;
  }
  const std::optional<std::wstring> device = DeviceForm(*wide);
  return device && paths_.erase(*device) > 0;
}

bool CacheExclusions::empty() {
  std::lock_guard<boost::recursive_mutex> guard(lock_);
  return paths_.empty();
}

}  // namespace sondrel
