// The "monitorReceiver" object of ostrel.so, the monitor receiver we ship: once a client has
// registered with it, it watches the settings file that client reads and asks the client to
// reload its server list when the file changes (a burst of changes once, at most once a second);
// it writes the client's changes of remote scanning into the log. Nothing runs before the
// registration, and destroying the object stops everything it started.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "companions/change_debouncer.h"
#include "companions/companion_factory.h"
#include "companions/i_monitor_receiver.h"
#include "logging/logger.h"
#include "platform/file_watcher.h"

namespace sondrel::ostrel {

struct ReloadTiming {
  // How long the file must stay unchanged before the reload, and the least time between two.
  std::chrono::milliseconds quiet{200};
  std::chrono::milliseconds interval{1000};
};

class MonitorReceiver final : public ICompanionObject, public IMonitorReceiver {
 public:
  // The settings file is looked for from `startDirectory` as the client looks for it.
  MonitorReceiver(std::wstring startDirectory, LoggerPtr logger, ReloadTiming timing = {});
  MonitorReceiver(const MonitorReceiver&) = delete;
  MonitorReceiver& operator=(const MonitorReceiver&) = delete;
  virtual ~MonitorReceiver();

  void* QueryInterface(Guid interfaceId) override;

  void ReservedSlot0() override {}
  void ReservedSlot1() override {}
  void ReservedSlot2() override {}
  void ReservedSlot3() override {}
  void CanScanRemoteChanged(bool canScanRemote) override;
  // Starts the watch at the first registration; a later one only replaces the client.
  void Register(ISondrelEvents* client) override;

 private:
  void Reload();

  const std::wstring startDirectory_;
  const LoggerPtr logger_;
  const ReloadTiming timing_;
  std::atomic<ISondrelEvents*> client_{nullptr};
  std::mutex mutex_;  // serialises the start of the watch with the destruction
  std::string watched_;
  // Declared in the order they start; destroyed watcher first, so no notice follows the
  // debouncer's end.
  std::unique_ptr<ChangeDebouncer> debouncer_;
  platform::FileWatcher watcher_;
};

}  // namespace sondrel::ostrel
