#include "core/c_sondrel.h"

#include "logging/log.h"

namespace sondrel {

CSondrel::CSondrel()
    : logger_(GetLogger("qx.sondrel.scan.manager")), slots_(GetLogger("qx.sondrel.slots")) {}

CSondrel::~CSondrel() {
  if (commClient_ != nullptr) {
    commClient_->Stop();
    commClient_.reset();
  }
}

}  // namespace sondrel
