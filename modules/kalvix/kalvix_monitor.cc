#include "kalvix_monitor.h"

#include <algorithm>
#include <utility>

#include "client_events.h"
#include "kalvix_plugin.h"
#include "logging/log.h"
#include "objectmodel/current_connections.h"
#include "objectmodel/i_sondrel.h"
#include "objectmodel/proxy.h"
#include "objectmodel/settings_mapping.h"
#include "objectmodel/slot_mappings.h"
#include "objectmodel/visitor_proxy.h"
#include "platform/utf8.h"
#include "slot_pair_source.h"

namespace sondrel::kalvix {

using Kalvix::IObject;
using Kalvix::IObjectVisitor;

KalvixMonitor::KalvixMonitor(std::wstring configPath, LoggerPtr logger, MonitorTiming timing)
    : configPath_(std::move(configPath)),
      configPathText_(platform::ToUtf8(configPath_)),
      logger_(std::move(logger)),
      timing_(timing) {}

KalvixMonitor::~KalvixMonitor() {
  std::lock_guard<std::mutex> services(servicesMutex_);
  StopServices();
}

void KalvixMonitor::Register(KalvixPlugin& plugin, IObject* face) {
  std::lock_guard<std::mutex> services(servicesMutex_);
  // Watched before the file is read, so that no change in between is missed.
  if (debouncer_ == nullptr) {
    StartWatch();
  }
  std::string statusSocket;
  {
    std::lock_guard<std::mutex> clients(clientsMutex_);
    if (!current_) {
      current_ = ReadConfig();
    }
    const auto known = std::find_if(clients_.begin(), clients_.end(),
                                    [&](const Client& client) { return client.plugin == &plugin; });
    if (known != clients_.end()) {
      known->face = face;
      if (current_) {
        ApplySettings(*known, *current_);
      }
    } else {
      const Client client{&plugin, face};
      if (current_) {
        ApplySettings(client, *current_);
        if (current_->handOverSlotPairs && !clients_.empty()) {
          HandOverSlotPairs(clients_.back(), client);
        }
      }
      clients_.push_back(client);
    }
    if (current_) {
      statusSocket = current_->statusSocket;
    }
  }
  if (status_ == nullptr && !statusSocket.empty()) {
    StartStatus(statusSocket);
  }
}

void KalvixMonitor::Unregister(KalvixPlugin& plugin) {
  std::lock_guard<std::mutex> services(servicesMutex_);
  bool last = false;
  {
    std::lock_guard<std::mutex> clients(clientsMutex_);
    std::erase_if(clients_, [&](const Client& client) { return client.plugin == &plugin; });
    last = clients_.empty();
    if (last) {
      // The next first registration reads the file afresh.
      current_.reset();
    }
  }
  if (last) {
    StopServices();
  }
}

std::string KalvixMonitor::Status() {
  std::vector<ClientStatus> statuses;
  std::lock_guard<std::mutex> clients(clientsMutex_);
  for (const Client& client : clients_) {
    ClientStatus status;
    status.events = client.plugin->Events();
    Kalvix::CurrentConnections connections;
    Kalvix::Proxy<Kalvix::CurrentConnections> destination(&connections,
                                                          Kalvix::CurrentConnectionsMapping());
    status.connectionsResult =
        client.face->Get(Kalvix::kFunctionCurrentConnections, static_cast<IObject*>(&destination));
    status.connections = std::move(connections.servers);
    statuses.push_back(std::move(status));
  }
  return StatusDocument(configPathText_, statuses);
}

std::optional<KalvixConfig> KalvixMonitor::ReadConfig() const {
  std::string error;
  std::optional<KalvixConfig> config = ReadKalvixConfig(configPath_, error);
  if (!config) {
    LOG_ERROR(logger_, "Kalvix: cannot use " << configPathText_ << ": " << error
                                             << "; the client keeps the settings it has");
  }
  return config;
}

void KalvixMonitor::ApplySettings(const Client& client, const KalvixConfig& config) const {
  Settings settings = config.settings;
  Kalvix::Proxy<Settings> object(&settings, Kalvix::SettingsMapping());
  const int32_t result =
      client.face->Set(Kalvix::kFunctionApplySettings, static_cast<IObject*>(&object));
  // Without connections yet (registration during Init) the client answers 1627 and starts them
  // with these settings.
  LOG_INFO(logger_,
           "Kalvix: settings of " << configPathText_ << " handed to the client, result " << result);
}

void KalvixMonitor::HandOverSlotPairs(const Client& from, const Client& to) const {
  std::vector<SlotPair> pairs;
  Kalvix::VisitorProxy<std::vector<SlotPair>> visitor(&pairs, Kalvix::SlotPairMapping());
  const int32_t taken =
      from.face->Get(Kalvix::kFunctionTakeSlotPairs, static_cast<IObjectVisitor*>(&visitor));
  if (taken != 0) {
    LOG_INFO(logger_, "Kalvix: the previous client handed over no slot pairs, result " << taken);
    return;
  }
  const size_t count = pairs.size();
  SlotPairSource source(std::move(pairs));
  const int32_t given =
      to.face->Set(Kalvix::kFunctionTakeOverSlotPairs, static_cast<IObject*>(&source));
  LOG_INFO(logger_, "Kalvix: " << count
                               << " slot pairs handed from the previous client to the new one, "
                                  "result "
                               << given);
  if (given == 0) {
    to.plugin->SetSlotPairs(count);
  }
}

void KalvixMonitor::Reload() {
  std::lock_guard<std::mutex> clients(clientsMutex_);
  std::optional<KalvixConfig> config = ReadConfig();
  if (!config) {
    return;
  }
  if (current_ && *config == *current_) {
    LOG_DEBUG(logger_, "Kalvix: " << configPathText_ << " changed without a new setting");
    return;
  }
  if (current_ && config->statusSocket != current_->statusSocket) {
    LOG_WARN(logger_,
             "Kalvix: a new status socket opens when a client registers while none is open");
  }
  current_ = std::move(config);
  for (const Client& client : clients_) {
    ApplySettings(client, *current_);
  }
}

void KalvixMonitor::StartWatch() {
  debouncer_ =
      std::make_unique<ChangeDebouncer>(timing_.quiet, timing_.interval, [this] { Reload(); });
  watcher_ = std::make_unique<platform::FileWatcher>();
  if (!watcher_->Start(configPath_, [this] { debouncer_->Notify(); })) {
    LOG_WARN(logger_,
             "Kalvix: cannot watch " << configPathText_ << "; its changes are not applied");
  }
}

void KalvixMonitor::StartStatus(const std::string& path) {
  status_ = std::make_unique<StatusServer>(
      logger_, [this] { return Status(); }, timing_.status);
  if (!status_->Start(path)) {
    status_.reset();
  }
}

void KalvixMonitor::StopServices() {
  // The watch first, so that no notice reaches the debouncer after it ended.
  watcher_.reset();
  debouncer_.reset();
  status_.reset();
}

}  // namespace sondrel::kalvix
