// The six functions the host calls. They take the object first and forward to its IExports
// operations; only CoreFree checks the object pointer. No exception leaves the library: one that
// reaches an export (memory or threads running out, a host callback that throws) becomes the
// failure status of that call.
#include <new>

#include "core/c_sondrel.h"
#include "sondrel/sondrel.h"

namespace {

sondrel::IExports* Object(SondrelObject* sondrel) {
  return reinterpret_cast<sondrel::IExports*>(sondrel);
}

sondrel::ScanContext* Context(SondrelScanContext* context) {
  return reinterpret_cast<sondrel::ScanContext*>(context);
}

template <typename Call>
int32_t Guarded(int32_t onException, Call call) noexcept {
  try {
    return call();
  } catch (...) {
    return onException;
  }
}

}  // namespace

extern "C" {

SondrelObject* CoreNew(void) {
  try {
    sondrel::IExports* exports = new sondrel::CSondrel();
    return reinterpret_cast<SondrelObject*>(exports);
  } catch (...) {
    return nullptr;
  }
}

void CoreFree(SondrelObject* sondrel) {
  Guarded(0, [&] {
    delete Object(sondrel);
    return 0;
  });
}

int32_t CoreInit(SondrelObject* sondrel, SondrelScanContext** context, const char* path) {
  return Guarded(SONDREL_STATUS_COMM_CLIENT_FAILED, [&] {
    return Object(sondrel)->Init(reinterpret_cast<sondrel::ScanContext**>(context), path);
  });
}

int32_t CoreScan(SondrelObject* sondrel, const HostCallbacks* callbacks, ScanRequest* request,
                 SondrelScanContext* context) {
  return Guarded(SONDREL_STATUS_NOT_SCANNED,
                 [&] { return Object(sondrel)->Scan(callbacks, request, Context(context)); });
}

int32_t CoreUninit(SondrelObject* sondrel, SondrelScanContext* context, int32_t flags) {
  return Guarded(SONDREL_STATUS_SUCCESS,
                 [&] { return Object(sondrel)->Uninit(Context(context), flags); });
}

int32_t CoreDisinfect(SondrelObject* sondrel, const HostCallbacks* callbacks,
                      const DisinfectRequest* request, SondrelScanContext* context) {
  return Guarded(SONDREL_STATUS_NOT_SCANNED,
                 [&] { return Object(sondrel)->Disinfect(callbacks, request, Context(context)); });
}

}  // extern "C"
