#include "cache_store.h"

namespace sondrel::merrin {

uint64_t SystemClock() {
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(sinceEpoch).count();
  return micros > 0 ? static_cast<uint64_t>(micros) : 0;
}

}  // namespace sondrel::merrin
