#include "tools/scan/path_text.h"

#include <cstdint>
#include <cstdio>

namespace sondrel::scan_tool {
namespace {

// The length of the valid UTF-8 sequence at the start of `text`, or 0 when it is not one.
size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t first = byte(0);
  size_t length = 0;
  uint32_t lowest = 0;
  if (first < 0x80) {
    return 1;
  } else if ((first & 0xE0) == 0xC0) {
    length = 2;
    lowest = 0x80;
  } else if ((first & 0xF0) == 0xE0) {
    length = 3;
    lowest = 0x800;
  } else if ((first & 0xF8) == 0xF0) {
    length = 4;
    lowest = 0x10000;
  } else {
    return 0;
  }
  if (text.size() < length) {
    return 0;
  }
  uint32_t code = first & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) {
      return 0;
    }
    code = code << 6 | (byte(i) & 0x3F);
  }
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  return code < lowest || code > 0x10FFFF || surrogate ? 0 : length;
}

void AppendHex(std::string& out, uint8_t byte) {
  char hex[8];
  std::snprintf(hex, sizeof(hex), "\\x%02x", byte);
  out += hex;
}

}  // namespace

std::string EscapedPath(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  while (!path.empty()) {
    const auto c = static_cast<uint8_t>(path[0]);
    const size_t length = Utf8SequenceLength(path);
    if (length == 0) {
      AppendHex(out, c);
      path.remove_prefix(1);
      continue;
    }
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      AppendHex(out, c);
    } else {
      out.append(path.substr(0, length));
    }
    path.remove_prefix(length);
  }
  return out;
}

bool IsValidUtf8(std::string_view text) {
  while (!text.empty()) {
    const size_t length = Utf8SequenceLength(text);
    if (length == 0) {
      return false;
    }
    text.remove_prefix(length);
  }
  return true;
}

std::string HexBytes(std::string_view bytes) {
  std::string out;
  char hex[4];
  for (const char c : bytes) {
    std::snprintf(hex, sizeof(hex), "%02x", static_cast<uint8_t>(c));
    out += hex;
  }
  return out;
}

}  // namespace sondrel::scan_tool
