#include "xml/decimal.h"

#include <gtest/gtest.h>

namespace sondrel {
namespace {

TEST(DecimalTest, ReadsLikeTheConfigurationFilesExpect) {
  const std::pair<std::string, int32_t> cases[] = {
      {"2500", 2500},
      {" 2500ms", 2500},
      {"\t\n-12", -12},
      {"+7", 7},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"12abc34", 12},
      {"- 5", 0},
      {"0x10", 0},
      {"2147483647", 2147483647},
      {"2147483648", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"99999999999999999999", 2147483647},
      {"-99999999999999999999", -2147483647 - 1},
  };
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(ParseLeadingInt(text), value) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace sondrel
