#include "merrin_settings.h"

#include <charconv>
#include <fstream>
#include <string_view>

#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/process_info.h"
#include "platform/utf8.h"

namespace sondrel::merrin {
namespace {

std::string_view Trim(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r";
  const size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

bool ReadNumber(std::string_view text, uint64_t lowest, uint64_t highest, uint64_t& value) {
  uint64_t parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size() || parsed < lowest ||
      parsed > highest) {
    return false;
  }
  value = parsed;
  return true;
}

// Applies one "key = value" line; false when it is not a setting this companion knows.
bool ApplySetting(std::string_view key, std::string_view value, const std::wstring& baseDirectory,
                  MerrinSettings& settings) {
  if (key == "directory") {
    const std::optional<std::wstring> directory = platform::Utf8ToWide(value);
    if (!directory || directory->empty()) {
      return false;
    }
    settings.directory = platform::PathIsRelative(*directory)
                             ? platform::PathJoin(baseDirectory, *directory)
                             : *directory;
    return true;
  }
  uint64_t number = 0;
  if (key == "max_entries") {
    if (!ReadNumber(value, 1, kMostEntries, number)) {
      return false;
    }
    settings.maxEntries = number;
    return true;
  }
  if (key == "max_age_seconds") {
    if (!ReadNumber(value, 1, static_cast<uint64_t>(kLongestMaxAge.count()), number)) {
      return false;
    }
    settings.maxAge = std::chrono::seconds(number);
    return true;
  }
  return false;
}

}  // namespace

std::wstring DefaultCacheDirectory() {
  return platform::PathJoin(platform::PathJoin(platform::CommonAppDataFolder(), L"sondrel"),
                            L"cache");
}

std::wstring CompanionSettingsPath() {
  std::wstring path = platform::ThisModulePath();
  if (path.empty() || !platform::PathRemoveFileSpec(path)) {
    return {};
  }
  return platform::PathJoin(path, L"Merrin.conf");
}

MerrinSettings ReadMerrinSettings(const std::wstring& path, const LogLine& log) {
  MerrinSettings settings;
  settings.directory = DefaultCacheDirectory();
  if (path.empty() || !platform::FileExists(path)) {
    return settings;
  }
  std::ifstream file(platform::NativePath(path));
  const std::wstring baseDirectory = platform::PathParent(path);
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    const std::string_view text = Trim(line);
    if (text.empty() || text.front() == '#') {
      continue;
    }
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos ||
        !ApplySetting(Trim(text.substr(0, equals)), Trim(text.substr(equals + 1)), baseDirectory,
                      settings)) {
      log("Merrin: " + platform::ToUtf8(path) + " line " + std::to_string(number) +
          " ignored: " + std::string(text));
    }
  }
  return settings;
}

}  // namespace sondrel::merrin
