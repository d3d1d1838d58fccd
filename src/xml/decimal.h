// Numbers as the configuration files write them.
#pragma once

#include <cstdint>
#include <string_view>

namespace sondrel {

// A decimal integer read from the start of the text: leading white space and one sign are
// allowed, reading stops at the first non-digit, and no digits give 0. Values outside int32
// saturate at its limits instead of overflowing.
int32_t ParseLeadingInt(std::string_view text);

}  // namespace sondrel
