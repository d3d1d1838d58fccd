// The debugger output channel. There is no debugger channel on this platform: text goes to
// standard error.
#pragma once

#include <string_view>

namespace sondrel::platform {

void DebugOutput(std::string_view text);

}  // namespace sondrel::platform
