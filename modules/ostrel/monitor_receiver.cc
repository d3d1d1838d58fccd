#include "monitor_receiver.h"

#include <utility>

#include "config/settings_file.h"
#include "core/i_sondrel_events.h"
#include "logging/log.h"
#include "platform/utf8.h"

namespace sondrel::ostrel {

MonitorReceiver::MonitorReceiver(std::wstring startDirectory, LoggerPtr logger, ReloadTiming timing)
    : startDirectory_(std::move(startDirectory)), logger_(std::move(logger)), timing_(timing) {}

MonitorReceiver::~MonitorReceiver() {
  std::lock_guard<std::mutex> lock(mutex_);
  watcher_.Stop();
  if (debouncer_ != nullptr) {
    debouncer_->Stop();
  }
}

void* MonitorReceiver::QueryInterface(Guid interfaceId) {
  return interfaceId == kMonitorReceiverId ? static_cast<IMonitorReceiver*>(this) : nullptr;
}

void MonitorReceiver::CanScanRemoteChanged(bool canScanRemote) {
  LOG_INFO(logger_, "ostrel: remote scanning is " << (canScanRemote ? "available" : "unavailable"));
}

void MonitorReceiver::Register(ISondrelEvents* client) {
  if (client == nullptr) {
    return;
  }
  client_ = client;
  std::lock_guard<std::mutex> lock(mutex_);
  if (debouncer_ != nullptr) {
    return;
  }
  const std::wstring path = LocateSettingsFile(startDirectory_);
  watched_ = platform::ToUtf8(path);
  debouncer_ =
      std::make_unique<ChangeDebouncer>(timing_.quiet, timing_.interval, [this] { Reload(); });
  if (watcher_.Start(path, [this] { debouncer_->Notify(); })) {
    LOG_INFO(logger_, "ostrel: watching " << watched_);
  } else {
    LOG_WARN(logger_, "ostrel: cannot watch " << watched_ << "; the server list is not reloaded");
  }
}

void MonitorReceiver::Reload() {
  LOG_INFO(logger_, "ostrel: " << watched_ << " changed, reloading the server list");
  client_.load()->ReloadScanServer();
}

}  // namespace sondrel::ostrel
