// The factory of ostrel.so: it makes the "monitorReceiver" object and nothing else. The object
// watches the settings file found from the host program's directory, as the client finds it.
#include "companions/companion_factory.h"
#include "logging/logger_registry.h"
#include "monitor_receiver.h"
#include "platform/process_info.h"

SONDREL_COMPANION_EXPORT int32_t QxCreateObject(const wchar_t* name, sondrel::Guid classId,
                                                sondrel::ICompanionObject** object) {
  return sondrel::CreateCompanionObject(name, classId, object, L"monitorReceiver", [] {
    return new sondrel::ostrel::MonitorReceiver(sondrel::platform::ExecutableDirectory(),
                                                sondrel::GetLogger("qx.sondrel.ostrel"));
  });
}

SONDREL_COMPANION_EXPORT void QxDestroyObject(const wchar_t*, sondrel::ICompanionObject* object) {
  delete static_cast<sondrel::ostrel::MonitorReceiver*>(object);
}
