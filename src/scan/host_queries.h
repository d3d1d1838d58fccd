// The host's functions that a scan request asks besides reading the file: its size, process
// information, the clean-traces question, the profile record, the text property, the option list
// and the release of the request's extra data. A function the host does not offer fails.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "sondrel/sondrel.h"

namespace sondrel {

// The host's result; the size words stay as the host left them (0 when it wrote none).
int32_t HostGetSize(const HostCallbacks& callbacks, uint64_t& size);
// The host's result; `value` (preset to 0) as the host left it.
int32_t HostProcessInfo(const HostCallbacks& callbacks, int32_t& value);
// The host's answer to a question (preset to 0); the function's result is not examined.
int32_t HostQuery(const HostCallbacks& callbacks, int32_t code);
// Property 2: a 44-byte record whose first word is preset to 3.
std::optional<std::array<uint8_t, 44>> HostProfileRecord(const HostCallbacks& callbacks);
// Property 3: the text with its NUL, or nothing when the host has none.
std::vector<uint8_t> HostText(const HostCallbacks& callbacks);

// The option list: the two words and the 16-byte entries.
struct HostOptions {
  uint32_t wordA = 0;
  uint32_t wordB = 0;
  std::vector<uint8_t> entries;
};
std::optional<HostOptions> HostGetOptions(const HostCallbacks& callbacks);

// Tells the host that the request's extra data (none here) is no longer needed.
void HostRelease(const HostCallbacks& callbacks);

}  // namespace sondrel
