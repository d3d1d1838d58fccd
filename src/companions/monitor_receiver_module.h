// The fallback monitor library's holders: the receiver's and a second one typed for the
// receiver's second interface, which this program never fills. The second is released first.
#pragma once

#include "companions/exported_object.h"
#include "companions/i_monitor_receiver.h"

namespace sondrel {

struct MonitorReceiverModule {
  // Declared first, so that destruction too releases it after the second holder.
  ExportedObject<IMonitorReceiver> receiver;
  ExportedObject<IMonitorReceiver2> receiver2;

  void Release() {
    receiver2.Release();
    receiver.Release();
  }
};

}  // namespace sondrel
