// The factory of Kalvix.so: it makes "InternalOstrel" plug-ins, all served by the one monitor of
// the process, which reads Kalvix.json from the directory this library was loaded from.
#include <string>

#include "companions/companion_factory.h"
#include "kalvix_config.h"
#include "kalvix_monitor.h"
#include "kalvix_plugin.h"
#include "logging/logger_registry.h"
#include "platform/path.h"
#include "platform/process_info.h"

namespace {

std::wstring ConfigPath() {
  std::wstring directory = sondrel::platform::ThisModulePath();
  sondrel::platform::PathRemoveFileSpec(directory);
  return sondrel::platform::PathJoin(directory, sondrel::kalvix::kConfigFileName);
}

sondrel::kalvix::KalvixMonitor& ProcessMonitor() {
  static sondrel::kalvix::KalvixMonitor monitor(ConfigPath(),
                                                sondrel::GetLogger("qx.sondrel.kalvix"));
  return monitor;
}

}  // namespace

SONDREL_COMPANION_EXPORT int32_t QxCreateObject(const wchar_t* name, sondrel::Guid classId,
                                                sondrel::ICompanionObject** object) {
  return sondrel::CreateCompanionObject(name, classId, object, L"InternalOstrel", [] {
    return new sondrel::kalvix::KalvixPlugin(ProcessMonitor());
  });
}

SONDREL_COMPANION_EXPORT void QxDestroyObject(const wchar_t*, sondrel::ICompanionObject* object) {
  delete static_cast<sondrel::kalvix::KalvixPlugin*>(object);
}
