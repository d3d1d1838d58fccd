#include "platform/utf8.h"

#include <cstdint>

namespace sondrel::platform {
namespace {

bool IsScalarValue(char32_t c) {
  return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

}  // namespace

std::optional<std::wstring> Utf8ToWide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<uint8_t>(text[i]);
    size_t extra;
    char32_t c;
    char32_t minimum;
    if (lead < 0x80) {
      out.push_back(static_cast<wchar_t>(lead));
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, c = lead & 0x07, minimum = 0x10000;
    } else {
      return std::nullopt;
    }
    if (text.size() - i <= extra) {
      return std::nullopt;
    }
    for (size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) {
        return std::nullopt;
      }
      c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || !IsScalarValue(c)) {
      return std::nullopt;
    }
    out.push_back(static_cast<wchar_t>(c));
    i += extra + 1;
  }
  return out;
}

std::optional<std::string> WideToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (const wchar_t wc : text) {
    const auto c = static_cast<char32_t>(wc);
    if (!IsScalarValue(c)) {
      return std::nullopt;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::wstring ToWide(std::string_view text) {
  return Utf8ToWide(text).value_or(std::wstring());
}

std::string ToUtf8(std::wstring_view text) {
  return WideToUtf8(text).value_or(std::string());
}

}  // namespace sondrel::platform
