// The one UTF-8 / wide-character codec of the library. Invalid input (a malformed or overlong
// sequence, a surrogate, a code point above U+10FFFF) makes a conversion fail, as the strict
// Windows conversion would; the convenience forms then give an empty string.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sondrel::platform {

std::optional<std::wstring> Utf8ToWide(std::string_view text);
std::optional<std::string> WideToUtf8(std::wstring_view text);

// Convenience forms: the converted text, or an empty string when the input is invalid.
std::wstring ToWide(std::string_view text);
std::string ToUtf8(std::wstring_view text);

}  // namespace sondrel::platform
