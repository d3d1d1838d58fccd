// Paths as sondrel-scan prints them. A path is any sequence of bytes but NUL; to keep every line
// unambiguous, the text form escapes a backslash as "\\", the control characters as "\n", "\t",
// "\r" or "\xHH", and every byte that is not part of valid UTF-8 as "\xHH". Other text, UTF-8
// included, is printed as it is.
#pragma once

#include <string>
#include <string_view>

namespace sondrel::scan_tool {

std::string EscapedPath(std::string_view path);
bool IsValidUtf8(std::string_view text);
// The bytes as lower-case hexadecimal digits.
std::string HexBytes(std::string_view bytes);

}  // namespace sondrel::scan_tool
