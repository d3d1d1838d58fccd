// The load flags a scan server reports in the `serverStatus` field of every message it sends.
// A receiver applies the set bits from the lowest up, so when several are set the last one wins.
#pragma once

#include <cstdint>

namespace sondrel::load_flags {

inline constexpr uint32_t kUnderloaded = 0x1;
inline constexpr uint32_t kNormal = 0x2;
inline constexpr uint32_t kOverloaded = 0x4;
// Normal as well; a session counts this update towards the time spent in the state.
inline constexpr uint32_t kNormalCounted = 0x8;

}  // namespace sondrel::load_flags
