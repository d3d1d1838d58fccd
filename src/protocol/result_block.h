// The 44-byte block copied into every request and filled from the server's final answer.
#pragma once

#include <array>
#include <cstdint>

namespace sondrel {

struct ResultBlock {
  std::array<int32_t, 11> words = {0, 0, 0, 0, 16, 40, -1, 0, 0, 0, 0};

  friend bool operator==(const ResultBlock&, const ResultBlock&) = default;
};

static_assert(sizeof(ResultBlock) == 44);

}  // namespace sondrel
