// The guard word that surrounds string buffers, and what happens when one is found damaged.
#pragma once

#include <cstdint>

namespace qx {

inline constexpr uint32_t kStringGuard = 0xABCD;

// A damaged guard means memory next to a string was overwritten: the process cannot go on safely.
[[noreturn]] void StringGuardDamaged(const char* where);

}  // namespace qx
