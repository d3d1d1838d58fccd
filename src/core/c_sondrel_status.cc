// What the connection manager reports about the servers: whether any is reachable (which gates
// every request and is announced to the monitors) and whether they are overloaded.
#include <atomic>

#include "companions/monitor_calls.h"
#include "core/c_sondrel.h"
#include "logging/log.h"
#include "objectmodel/can_scan_event.h"
#include "objectmodel/proxy.h"

namespace sondrel {
namespace {

// The last can-scan state announced by any client of the process: 0 servers available,
// 1 unavailable, 3 nothing announced yet.
constexpr int32_t kNothingAnnounced = 3;
std::atomic<int32_t> lastAnnounced{kNothingAnnounced};

}  // namespace

void CSondrel::ServerStatusHandler(bool shieldStatus, int32_t connectionStatus, void* context) {
  auto* client = static_cast<CSondrel*>(context);
  if (client == nullptr || client->shuttingDown_) {
    return;
  }
  LOG_INFO(client->logger_,
           "ServerStatusHandler. Shield status: " << (shieldStatus ? 1 : 0)
                                                  << "  Connection status: " << connectionStatus);
  client->UpdateCanScan(shieldStatus ? kServersAvailable : kServersUnavailable);
  client->connectionStatus_ = connectionStatus;
}

void CSondrel::UpdateCanScan(int32_t input) {
  if (input == lastAnnounced) {
    return;
  }
  if (input == kAnnounceAgain) {
    input = lastAnnounced;
    if (input == kNothingAnnounced) {
      return;
    }
  }
  if (input != kServersAvailable && input != kServersUnavailable) {
    return;
  }
  lastAnnounced = input;
  const bool canScanRemote = input == kServersAvailable;
  const bool canScan = canScanRemote || settings_.GetScanOptions().scanLocalIfError != 0;
  AnnounceCanScan(canScan, canScanRemote);
  canScan_ = canScan;
  canScanRemote_ = canScanRemote;
}

void CSondrel::AnnounceCanScan(bool canScan, bool canScanRemote) {
  const Kalvix::CanScanEvent pair{canScan, canScanRemote};
  Kalvix::Proxy<const Kalvix::CanScanEvent> event(&pair, Kalvix::CanScanEventMapping());
  sondrel::AnnounceCanScan(internalMonitorRegistration_.load(), &event, monitorReceiver_.load(),
                           canScanRemote);
}

}  // namespace sondrel
