// The monitor receiver's request to read the server list from the settings file again.
#include <boost/thread/lock_guard.hpp>
#include <string>
#include <vector>

#include "config/option_sink.h"
#include "core/c_sondrel.h"
#include "logging/log.h"

namespace sondrel {

void CSondrel::ReloadScanServer() {
  // Held so that a final Uninit cannot take the connection manager away meanwhile. Not the
  // Init/Uninit lock: the final Uninit unloads the monitor receiver, whose thread calls this, and
  // waits for that thread while holding it.
  boost::lock_guard<boost::mutex> guard(commClientLock_);
  if (commClient_ == nullptr) {
    return;
  }
  LOG_INFO(logger_, "CSondrel::ReloadScanServer begin");
  if (!LoadSettingsFile()) {
    LOG_ERROR(logger_, "CSondrel::ReloadScanServer end : Cannot reload settings from xml");
    return;
  }
  const std::string region = settings_.RegionUtf8();
  Settings settings;
  std::vector<CommServerEntry> servers;
  settings_.CopySettings(settings, servers);
  commClient_->SetOption(kOptionRegion, region.c_str());
  commClient_->SetOption(kOptionServers, &servers);
  commClient_->ApplyOptions();
  commClient_->ReloadServers();
  LOG_INFO(logger_, "CSondrel::ReloadScanServer end");
}

}  // namespace sondrel
