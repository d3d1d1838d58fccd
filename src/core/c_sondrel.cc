#include "core/c_sondrel.h"

#include "logging/log.h"

namespace sondrel {

CSondrel::CSondrel()
    : logger_(GetLogger("qx.sondrel.scan.manager")), slots_(GetLogger("qx.sondrel.slots")) {}

CSondrel::~CSondrel() {
  DeleteCommClient();
  // Freed without its final Uninit: the monitor libraries' threads may still call into the
  // client, so the libraries go while everything those calls reach is still here.
  internalMonitorRegistration_ = nullptr;
  StopPlugin(internalMonitorModule_, internalMonitor_);
  monitorReceiverModule_.Release();
  monitorReceiver_ = nullptr;
}

}  // namespace sondrel
