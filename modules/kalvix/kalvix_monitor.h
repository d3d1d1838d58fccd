// The internal monitor of one process: the clients registered through the module's plug-in
// objects, the settings of Kalvix.json it gives them, the watch on that file and the status
// socket. The first registration starts the watch, a registration with a status socket named in
// the file opens it, and the last unregistration stops both (and waits for their threads);
// nothing runs before or after.
//
// Lock order: the services lock (registration, unregistration), then the clients lock (the
// clients and the settings, held while their faces are called). The threads of the watch and the
// socket take only the clients lock; the plug-ins' events take neither.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "companions/change_debouncer.h"
#include "kalvix_config.h"
#include "logging/logger.h"
#include "objectmodel/i_object.h"
#include "platform/file_watcher.h"
#include "status_server.h"

namespace sondrel::kalvix {

class KalvixPlugin;

struct MonitorTiming {
  // How long the file must stay unchanged before it is applied, and the least time between two.
  std::chrono::milliseconds quiet{200};
  std::chrono::milliseconds interval{1000};
  StatusServer::Limits status{};
};

class KalvixMonitor {
 public:
  KalvixMonitor(std::wstring configPath, LoggerPtr logger, MonitorTiming timing = {});
  KalvixMonitor(const KalvixMonitor&) = delete;
  KalvixMonitor& operator=(const KalvixMonitor&) = delete;
  ~KalvixMonitor();

  // A client's registration through `plugin`: the file's settings go to its face and, when the
  // file allows, the slot pairs of the client registered before it. A client registered again
  // gets the settings again.
  void Register(KalvixPlugin& plugin, Kalvix::IObject* face);
  void Unregister(KalvixPlugin& plugin);

  // The status socket's answer.
  std::string Status();

 private:
  struct Client {
    KalvixPlugin* plugin;
    Kalvix::IObject* face;
  };

  // Reads the file; one log line when it cannot be used.
  std::optional<KalvixConfig> ReadConfig() const;
  void ApplySettings(const Client& client, const KalvixConfig& config) const;
  void HandOverSlotPairs(const Client& from, const Client& to) const;
  // The file changed (the debouncer's thread).
  void Reload();
  void StartWatch();
  void StartStatus(const std::string& path);
  void StopServices();

  const std::wstring configPath_;
  const std::string configPathText_;
  const LoggerPtr logger_;
  const MonitorTiming timing_;
  std::mutex servicesMutex_;
  std::mutex clientsMutex_;
  std::vector<Client> clients_;
  std::optional<KalvixConfig> current_;
  std::unique_ptr<ChangeDebouncer> debouncer_;
  std::unique_ptr<platform::FileWatcher> watcher_;
  std::unique_ptr<StatusServer> status_;
};

}  // namespace sondrel::kalvix
