// The live settings of one client behind a reader/writer lock. Every write (file load, whole
// record, logger) takes the exclusive lock; every read takes the shared lock and copies.
#pragma once

#include <boost/thread/shared_mutex.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "config/comm_server_entry.h"
#include "config/scan_options.h"
#include "config/settings.h"
#include "logging/logger.h"

namespace sondrel {

class SettingsStore {
 public:
  // The built-in defaults, no logger: nothing is logged until SetLogger.
  SettingsStore() = default;
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  void SetLogger(LoggerPtr logger);

  // Reads the settings file and, when the read succeeds, copies it into the live settings. Logs
  // the outcome and, on success, the new settings. A failed read changes nothing. The file is
  // the one the environment names (SONDREL_SETTINGS_FILE), or else the one found from the host
  // executable's directory (or from startDirectory).
  bool LoadFromFile();
  bool LoadFromFile(std::wstring_view startDirectory);

  // Replaces the whole record (server list included) and logs it as "Reset settings".
  void ApplySettings(const Settings& settings);

  // A copy of the live record, and its servers as the connection manager takes them.
  void CopySettings(Settings& settings, std::vector<CommServerEntry>& servers) const;
  Settings GetSettings() const;
  std::string RegionUtf8() const;
  ScanOptions GetScanOptions() const;

 private:
  bool LoadFromPath(const std::wstring& path);
  void LogOutcome(std::string_view action, bool success) const;

  mutable boost::shared_mutex lock_;
  Settings settings_;
  LoggerPtr logger_;
};

}  // namespace sondrel
