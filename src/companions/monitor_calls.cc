#include "companions/monitor_calls.h"

namespace sondrel {

int32_t NotifyInternalMonitor(IInternalMonitorClient* registration, uint32_t event,
                              Kalvix::IObject* object) {
  if (registration == nullptr) {
    return kNoInternalMonitor;
  }
  return registration->Notify(event, object);
}

void AnnounceCanScan(IInternalMonitorClient* registration, Kalvix::IObject* canScanPair,
                     IMonitorReceiver* receiver, bool canScanRemote) {
  NotifyInternalMonitor(registration, kEventCanScanChanged, canScanPair);
  if (receiver != nullptr) {
    receiver->CanScanRemoteChanged(canScanRemote);
  }
}

void RegisterWithMonitorReceiver(IMonitorReceiver* receiver, ISondrelEvents* client) {
  if (receiver != nullptr) {
    receiver->Register(client);
  }
}

}  // namespace sondrel
