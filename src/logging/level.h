// Log levels, their names, and the two configuration vocabularies that map names to levels.
#pragma once

#include <cstdint>
#include <string_view>

namespace sondrel {

enum LogLevel : int32_t {
  kLevelNone = -1,
  kLevelFatal = 0,
  kLevelError = 1,
  kLevelWarn = 2,
  kLevelInfo = 3,
  kLevelDebug = 4,
  kLevelTrace = 5,
};

// "FATAL", "ERROR", "WARN", "INFO", "DEBUG", "TRACE"; "" for anything else.
std::string_view LevelName(int32_t level);

// Level names of the category-based configuration: exact, case-sensitive words.
int32_t LevelFromCategoryConfig(std::string_view name);
// Level names of the flat configuration: case-sensitive substring tests, first hit wins.
int32_t LevelFromFlatConfig(std::string_view text);

}  // namespace sondrel
