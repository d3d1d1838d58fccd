// The factory of ostrel.so: it makes the "monitorReceiver" object and nothing else. The object
// watches the settings file found from the host program's directory, as the client finds it.
#include <cwchar>
#include <new>

#include "companions/companion_factory.h"
#include "logging/logger_registry.h"
#include "monitor_receiver.h"
#include "platform/process_info.h"

namespace {

constexpr int32_t kInvalidArgument = 87;
constexpr int32_t kUnknownObject = 1168;
constexpr int32_t kOutOfMemory = 8;

}  // namespace

SONDREL_COMPANION_EXPORT int32_t QxCreateObject(const wchar_t* name, sondrel::Guid classId,
                                                sondrel::ICompanionObject** object) {
  if (name == nullptr || object == nullptr) {
    return kInvalidArgument;
  }
  if (std::wcscmp(name, L"monitorReceiver") != 0 || classId != sondrel::kCompanionClassId) {
    return kUnknownObject;
  }
  try {
    *object = new sondrel::ostrel::MonitorReceiver(sondrel::platform::ExecutableDirectory(),
                                                   sondrel::GetLogger("qx.sondrel.ostrel"));
  } catch (...) {
    return kOutOfMemory;
  }
  return 0;
}

SONDREL_COMPANION_EXPORT void QxDestroyObject(const wchar_t*, sondrel::ICompanionObject* object) {
  delete static_cast<sondrel::ostrel::MonitorReceiver*>(object);
}
