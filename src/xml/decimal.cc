#include "xml/decimal.h"

#include <limits>

namespace sondrel {

int32_t ParseLeadingInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kLimit) {
      value = kLimit;
    }
  }
  if (negative) {
    return static_cast<int32_t>(-value);
  }
  return static_cast<int32_t>(value >= kLimit ? kLimit - 1 : value);
}

}  // namespace sondrel
