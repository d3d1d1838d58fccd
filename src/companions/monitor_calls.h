// What the client tells the monitor libraries. Notifications to the internal monitor client go
// through the registration copy that Init keeps; without it nothing is sent.
#pragma once

#include <cstdint>

#include "companions/i_internal_monitor_client.h"
#include "companions/i_monitor_receiver.h"

namespace sondrel {

class ISondrelEvents;

// The result of a notification that could not be sent: no internal monitor client registered.
inline constexpr int32_t kNoInternalMonitor = 4306;

// The client's answer, or kNoInternalMonitor without a call when registration is null.
int32_t NotifyInternalMonitor(IInternalMonitorClient* registration, uint32_t event,
                              Kalvix::IObject* object);

// Announces a new can-scan pair: first to the internal monitor client (event 0x11003 with the
// pair as an object-model proxy), then to the monitor receiver (canScanRemote), each only when
// present. Neither answer is examined.
void AnnounceCanScan(IInternalMonitorClient* registration, Kalvix::IObject* canScanPair,
                     IMonitorReceiver* receiver, bool canScanRemote);

// Hands the client to the monitor receiver, when one is in use.
void RegisterWithMonitorReceiver(IMonitorReceiver* receiver, ISondrelEvents* client);

}  // namespace sondrel
