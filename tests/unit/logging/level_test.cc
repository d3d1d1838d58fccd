#include "logging/level.h"

#include <gtest/gtest.h>

namespace sondrel {
namespace {

TEST(LevelTest, Names) {
  EXPECT_EQ(LevelName(kLevelFatal), "FATAL");
  EXPECT_EQ(LevelName(kLevelError), "ERROR");
  EXPECT_EQ(LevelName(kLevelWarn), "WARN");
  EXPECT_EQ(LevelName(kLevelInfo), "INFO");
  EXPECT_EQ(LevelName(kLevelDebug), "DEBUG");
  EXPECT_EQ(LevelName(kLevelTrace), "TRACE");
  EXPECT_EQ(LevelName(kLevelNone), "");
  EXPECT_EQ(LevelName(6), "");
}

struct LevelCase {
  const char* text;
  int32_t category;
  int32_t flat;
};

TEST(LevelTest, BothVocabularies) {
  const LevelCase cases[] = {
      {"debug", 4, 4},      {"trace", 5, 5},       {"all", 5, 3},      {"warn", 2, 2},
      {"error", 1, 1},      {"fatal", 0, 0},       {"info", 3, 3},     {"none", -1, -1},
      {"critical", 3, 0},   {"DEBUG", 3, 3},       {"", 3, 3},         {"verbose", 3, 3},
      {"nodebugger", 3, 4}, {"debug,trace", 3, 4}, {"infonone", 3, 3}, {"warning", 3, 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LevelFromCategoryConfig(c.text), c.category) << c.text;
    EXPECT_EQ(LevelFromFlatConfig(c.text), c.flat) << c.text;
  }
}

}  // namespace
}  // namespace sondrel
