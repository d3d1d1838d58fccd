#include "config/settings_store.h"

#include <boost/thread/locks.hpp>
#include <optional>
#include <utility>

#include "config/settings_dump.h"
#include "config/settings_file.h"
#include "logging/log.h"
#include "platform/environment.h"
#include "platform/process_info.h"
#include "platform/utf8.h"
#include "sondrel/sondrel.h"

namespace sondrel {

using SharedLock = boost::shared_lock<boost::shared_mutex>;
using ExclusiveLock = boost::unique_lock<boost::shared_mutex>;

void SettingsStore::SetLogger(LoggerPtr logger) {
  ExclusiveLock exclusive(lock_);
  logger_ = std::move(logger);
}

bool SettingsStore::LoadFromFile() {
  return LoadFromFile(platform::ExecutableDirectory());
}

bool SettingsStore::LoadFromFile(std::wstring_view startDirectory) {
  const std::optional<std::wstring> named = platform::EnvironmentPath(SONDREL_ENV_SETTINGS_FILE);
  return LoadFromPath(named ? *named : LocateSettingsFile(startDirectory));
}

bool SettingsStore::LoadFromPath(const std::wstring& path) {
  SettingsFileRecord record;
  const bool loaded = ReadSettingsFile(path, record);
  if (loaded) {
    ExclusiveLock exclusive(lock_);
    ApplyFileRecord(record, settings_);
  }
  LogOutcome("Read settings from qxcore.xml", loaded);
  return loaded;
}

void SettingsStore::ApplySettings(const Settings& settings) {
  {
    ExclusiveLock exclusive(lock_);
    settings_ = settings;
  }
  LogOutcome("Reset settings", true);
}

void SettingsStore::CopySettings(Settings& settings, std::vector<CommServerEntry>& servers) const {
  SharedLock shared(lock_);
  settings = settings_;
  BuildCommServerEntries(settings_.servers, servers);
}

Settings SettingsStore::GetSettings() const {
  SharedLock shared(lock_);
  return settings_;
}

std::string SettingsStore::RegionUtf8() const {
  SharedLock shared(lock_);
  return platform::ToUtf8(settings_.region.View());
}

ScanOptions SettingsStore::GetScanOptions() const {
  SharedLock shared(lock_);
  return MakeScanOptions(settings_);
}

void SettingsStore::LogOutcome(std::string_view action, bool success) const {
  SharedLock shared(lock_);
  if (!logger_) {
    return;
  }
  if (success) {
    LOG_INFO(logger_, action << " succeeded. New settings:");
    DumpSettings(*logger_, settings_);
  } else {
    LOG_ERROR(logger_, action << " failed");
  }
}

}  // namespace sondrel
