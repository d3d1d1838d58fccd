#include "logging/level.h"

#include <array>
#include <utility>

namespace sondrel {

std::string_view LevelName(int32_t level) {
  static constexpr std::array<std::string_view, 6> kNames = {"FATAL", "ERROR", "WARN",
                                                             "INFO",  "DEBUG", "TRACE"};
  return level >= 0 && level < static_cast<int32_t>(kNames.size()) ? kNames[level] : "";
}

int32_t LevelFromCategoryConfig(std::string_view name) {
  static constexpr std::array<std::pair<std::string_view, int32_t>, 8> kWords = {{
      {"debug", kLevelDebug},
      {"trace", kLevelTrace},
      {"all", kLevelTrace},
      {"warn", kLevelWarn},
      {"error", kLevelError},
      {"fatal", kLevelFatal},
      {"info", kLevelInfo},
      {"none", kLevelNone},
  }};
  for (const auto& [word, level] : kWords) {
    if (name == word) {
      return level;
    }
  }
  return kLevelInfo;
}

int32_t LevelFromFlatConfig(std::string_view text) {
  static constexpr std::array<std::pair<std::string_view, int32_t>, 8> kWords = {{
      {"debug", kLevelDebug},
      {"trace", kLevelTrace},
      {"info", kLevelInfo},
      {"warn", kLevelWarn},
      {"error", kLevelError},
      {"fatal", kLevelFatal},
      {"critical", kLevelFatal},
      {"none", kLevelNone},
  }};
  for (const auto& [word, level] : kWords) {
    if (text.find(word) != std::string_view::npos) {
      return level;
    }
  }
  return kLevelInfo;
}

}  // namespace sondrel
