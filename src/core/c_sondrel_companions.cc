// The companion libraries in the client's life: the monitor module found and loaded by the first
// Init (the internal monitor client, or else the monitor receiver and the settings file), the
// response cache, and their unloading by the final Uninit.
#include <string>

#include "companions/companion_paths.h"
#include "companions/guid.h"
#include "companions/monitor_calls.h"
#include "core/c_sondrel.h"
#include "logging/log.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/process_info.h"

namespace sondrel {
namespace {

// The executable's directory and the two above it are searched for the internal monitor library.
constexpr int kMonitorSearchLevels = 3;

}  // namespace

std::wstring CSondrel::ExecutableDirectory() const {
  return environment_.executableDirectory.value_or(platform::ExecutableDirectory());
}

std::wstring CSondrel::InternalMonitorLibraryPath() const {
  const std::wstring name = InternalMonitorLibraryName();
  std::wstring directory = ExecutableDirectory();
  for (int level = 0; level < kMonitorSearchLevels; ++level) {
    if (platform::FileExists(directory + name)) {
      return directory + name;
    }
    directory = platform::PathParent(directory);
    platform::PathAddSeparator(directory);
  }
  return ExecutableDirectory() + name;
}

void CSondrel::LoadMonitors() {
  if (internalMonitor_ == nullptr &&
      StartPlugin(internalMonitorModule_, internalMonitor_, InternalMonitorLibraryPath(),
                  kInternalMonitorObjectName, kInternalMonitorServiceId)) {
    internalMonitorRegistration_ = internalMonitor_;
  }
  if (internalMonitor_ != nullptr) {
    LOG_INFO(logger_, "IInternalOstrel loaded: true");
  } else {
    LOG_WARN(logger_, "IInternalOstrel loaded: false");
    LOG_WARN(logger_, "Could not load Kalvix, so switching back to Ostrel.dll");
    if (monitorReceiver_ == nullptr &&
        monitorReceiverModule_.receiver.Load(ExecutableDirectory() + MonitorReceiverLibraryName(),
                                             kMonitorReceiverObjectName, kMonitorReceiverId) == 0) {
      monitorReceiver_ = monitorReceiverModule_.receiver.interface();
    }
    LOG_WARN(logger_, "Loaded Ostrel.dll: " << (monitorReceiver_ != nullptr ? "true" : "false"));
    LoadSettingsFile();
  }
  RegisterWithMonitorReceiver(monitorReceiver_, this);
  RegisterWithInternalMonitor();
}

void CSondrel::RegisterWithInternalMonitor() {
  if (internalMonitor_ == nullptr) {
    return;
  }
  if (NotifyInternalMonitor(internalMonitorRegistration_, kEventRegister, Face()) == 0) {
    LOG_INFO(logger_, "Registered to IInternalOstrel: true");
  } else {
    LOG_WARN(logger_, "Registered to IInternalOstrel: false");
  }
}

void CSondrel::UnregisterFromInternalMonitor() {
  if (NotifyInternalMonitor(internalMonitorRegistration_, kEventUnregister, Face()) == 0) {
    LOG_INFO(logger_, "Unregistered from IInternalOstrel: true");
  } else {
    LOG_WARN(logger_, "Unregistered from IInternalOstrel: false");
  }
  internalMonitorRegistration_ = nullptr;
}

void CSondrel::LoadCache() {
  const std::wstring directory = environment_.libraryDirectory.value_or(LibraryDirectory());
  StartPlugin(cacheModule_, cacheService_, directory + CacheLibraryName(), kCacheObjectName,
              kResponseCacheServiceId);
  LOG_INFO(logger_, "Merrin was loaded: " << (cacheService_ != nullptr ? "yes" : "no"));
  SetLocalCache();
}

void CSondrel::SetLocalCache() {
  cacheAdapter_ = CacheServiceAdapter(cacheService_);
  localCache_ = cacheService_ != nullptr ? &cacheAdapter_ : nullptr;
  conversation_.localCache = localCache_;
}

void CSondrel::UnloadCache() {
  LOG_INFO(logger_, "Unload cache");
  StopPlugin(cacheModule_, cacheService_);
  SetLocalCache();
}

void CSondrel::UnloadMonitors() {
  LOG_INFO(logger_, "Unload monitor receiver");
  monitorReceiverModule_.Release();
  monitorReceiver_ = nullptr;

  LOG_INFO(logger_, "Unload Kalvix");
  UnregisterFromInternalMonitor();
  StopPlugin(internalMonitorModule_, internalMonitor_);
  LOG_INFO(logger_, "IInternalOstrel unloaded");
}

}  // namespace sondrel
