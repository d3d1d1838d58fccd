#include "platform/utf8.h"

#include <gtest/gtest.h>

namespace sondrel::platform {
namespace {

TEST(Utf8Test, RoundTripsEveryEncodingLength) {
  const std::pair<std::string, std::wstring> cases[] = {
      {"", L""},
      {"scan1", L"scan1"},
      {"\xC3\xA9t\xC3\xA9", L"\u00E9t\u00E9"},
      {"\xE2\x82\xAC", L"\u20AC"},
      {"\xF0\x9F\x98\x80", L"\U0001F600"},
      {"\xF4\x8F\xBF\xBF", L"\U0010FFFF"},
  };
  for (const auto& [utf8, wide] : cases) {
    EXPECT_EQ(Utf8ToWide(utf8), wide) << utf8;
    EXPECT_EQ(WideToUtf8(wide), utf8) << utf8;
  }
}

TEST(Utf8Test, InvalidInputFails) {
  const std::string invalid[] = {
      "\x80",              // continuation without a lead
      "\xC3",              // truncated
      "\xC0\xAF",          // overlong
      "\xE0\x80\xAF",      // overlong
      "\xED\xA0\x80",      // surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xFF",
      "ab\xC3(",
  };
  for (const auto& text : invalid) {
    EXPECT_FALSE(Utf8ToWide(text).has_value()) << testing::PrintToString(text);
    EXPECT_EQ(ToWide(text), L"");
  }
  EXPECT_FALSE(WideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))).has_value());
  EXPECT_FALSE(WideToUtf8(std::wstring(1, static_cast<wchar_t>(0x110000))).has_value());
  EXPECT_EQ(ToUtf8(std::wstring(1, static_cast<wchar_t>(-1))), "");
}

}  // namespace
}  // namespace sondrel::platform
