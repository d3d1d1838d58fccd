#include "scan/cache_miss_bookkeeping.h"

namespace sondrel {

void CacheMissBookkeeping::Count(bool answeredFromCache, int32_t threshold) {
  if (answeredFromCache) {
    if (!sendInitialBufferMode.load()) {
      cacheMissCount.store(0);
      return;
    }
    const int32_t before = cacheMissCount.fetch_sub(1);
    if (before == 1) {
      sendInitialBufferMode.store(false);
    } else if (before <= 0 || before > threshold) {
      Reset();
    }
    return;
  }
  if (sendInitialBufferMode.load()) {
    cacheMissCount.store(threshold);
    return;
  }
  const int32_t before = cacheMissCount.fetch_add(1);
  if (before == threshold - 1) {
    sendInitialBufferMode.store(true);
  } else if (before >= threshold) {
    Reset();
  }
}

void CacheMissBookkeeping::Reset() {
  cacheMissCount.store(0);
  sendInitialBufferMode.store(false);
}

}  // namespace sondrel
