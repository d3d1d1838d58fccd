// The six functions the host calls. They take the object first and forward to its IExports
// operations; only CoreFree checks the object pointer.
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
  delete Object(sondrel);
}

int32_t CoreInit(SondrelObject* sondrel, SondrelScanContext** context, const char* path) {
  return Object(sondrel)->Init(reinterpret_cast<sondrel::ScanContext**>(context), path);
}

int32_t CoreScan(SondrelObject* sondrel, const HostCallbacks* callbacks, ScanRequest* request,
                 SondrelScanContext* context) {
  return Object(sondrel)->Scan(callbacks, request, Context(context));
}

int32_t CoreUninit(SondrelObject* sondrel, SondrelScanContext* context, int32_t flags) {
  return Object(sondrel)->Uninit(Context(context), flags);
}

int32_t CoreDisinfect(SondrelObject* sondrel, const HostCallbacks* callbacks,
                      const DisinfectRequest* request, SondrelScanContext* context) {
  return Object(sondrel)->Disinfect(callbacks, request, Context(context));
}

}  // extern "C"
