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

int32_t CSondrel::Scan(const HostCallbacks*, ScanRequest* request, ScanContext* context) {
  const ScanOptions options = settings_.GetScanOptions();
  if (request == nullptr || context == nullptr) {
    return SONDREL_STATUS_NOT_SCANNED;
  }
  if (request->flags != nullptr) {
    if (!options.enableScan) {
      *request->flags |= SONDREL_FLAG_SCAN_DISABLED;
      return SONDREL_STATUS_SUCCESS;
    }
    if (options.scanLocalIfError) {
      *request->flags |= SONDREL_FLAG_SCAN_LOCALLY;
    }
  }
  const int32_t status = ScanInternal(request->path);
  request->disinfectFlags = context->disinfectFlags;
  context->disinfectFlags = 0;
  return status;
}

int32_t CSondrel::Disinfect(const HostCallbacks*, const DisinfectRequest* request,
                            ScanContext* context) {
  if (request == nullptr || context == nullptr) {
    return SONDREL_STATUS_NOT_SCANNED;
  }
  const int32_t verdict = 0;
  const int32_t status = ScanInternal(request->path);
  if (request->verdict != nullptr) {
    *request->verdict = verdict;
  }
  LOG_DEBUG(logger_, "CoreDisinfect flags" << verdict);
  return status;
}

// A request goes remote only once the connection manager has reported a usable server; until
// then every request is left to the host's own engine.
int32_t CSondrel::ScanInternal(const char* path) {
  if (!canScanRemote_) {
    LOG_INFO(logger_, "ScanInternal ignore new request, canScanRemote is false: "
                          << (path != nullptr ? path : ""));
  }
  return SONDREL_STATUS_NOT_SCANNED;
}

}  // namespace sondrel
