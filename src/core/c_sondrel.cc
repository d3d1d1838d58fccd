#include "core/c_sondrel.h"

#include <boost/thread/lock_guard.hpp>

#include "logging/log.h"

namespace sondrel {

using InitLock = boost::lock_guard<boost::recursive_mutex>;

CSondrel::CSondrel() : logger_(GetLogger("qx.sondrel.scan.manager")) {}

int32_t CSondrel::Init(ScanContext** context, const char*) {
  InitLock guard(lock_);
  *context = new ScanContext();
  return SONDREL_STATUS_SUCCESS;
}

int32_t CSondrel::Uninit(ScanContext* context, int32_t flags) {
  InitLock guard(lock_);
  delete context;
  if ((flags & 0xFF) != 0) {
    initialised_ = false;
  }
  return SONDREL_STATUS_SUCCESS;
}

}  // namespace sondrel
