// The companion's settings: its file "Merrin.conf" beside Merrin.so, one "key = value" per line,
// "#" starting a comment line:
//
//   directory        the cache directory (relative paths are taken from the companion's own
//                    directory); default <common application data>/sondrel/cache
//   max_entries      the most entries kept, 1 to 100000000; default 1000000
//   max_age_seconds  how long an entry answers, 1 to 315360000 (ten years); default 604800
//
// A missing file gives the defaults. A line that cannot be read, an unknown key or a value out
// of range is reported and the default kept.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace sondrel::merrin {

// Writes one line of text (without its line end) where the companion's messages go.
using LogLine = std::function<void(const std::string&)>;

struct MerrinSettings {
  std::wstring directory;
  uint64_t maxEntries = 1000000;
  std::chrono::seconds maxAge = std::chrono::hours(24 * 7);
};

inline constexpr uint64_t kMostEntries = 100000000;
inline constexpr std::chrono::seconds kLongestMaxAge = std::chrono::hours(24 * 365 * 10);

// "<common application data>/sondrel/cache".
std::wstring DefaultCacheDirectory();
// "Merrin.conf" beside the module that holds this code; empty when the system cannot tell.
std::wstring CompanionSettingsPath();

// Reads the settings file at `path`; problems go to `log`, one line each.
MerrinSettings ReadMerrinSettings(const std::wstring& path, const LogLine& log);

}  // namespace sondrel::merrin
