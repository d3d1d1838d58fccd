// The factory of Merrin.so: it makes the "Merrin" object and nothing else. The object reads its
// settings from "Merrin.conf" beside this library and writes its few messages to the debug
// output (standard error here).
#include <cwchar>
#include <new>
#include <string>
#include <utility>

#include "companions/companion_factory.h"
#include "merrin_plugin.h"
#include "merrin_settings.h"
#include "platform/debug_output.h"

namespace {

constexpr int32_t kInvalidArgument = 87;
constexpr int32_t kUnknownObject = 1168;
constexpr int32_t kOutOfMemory = 8;

void WriteDebugLine(const std::string& line) {
  sondrel::platform::DebugOutput(line + "\n");
}

}  // namespace

SONDREL_COMPANION_EXPORT int32_t QxCreateObject(const wchar_t* name, sondrel::Guid classId,
                                                sondrel::ICompanionObject** object) {
  if (name == nullptr || object == nullptr) {
    return kInvalidArgument;
  }
  if (std::wcscmp(name, L"Merrin") != 0 || classId != sondrel::kCompanionClassId) {
    return kUnknownObject;
  }
  try {
    sondrel::merrin::StoreEnvironment environment;
    environment.settingsPath = sondrel::merrin::CompanionSettingsPath();
    environment.log = WriteDebugLine;
    *object = new sondrel::merrin::MerrinPlugin(std::move(environment));
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
  return 0;
}

SONDREL_COMPANION_EXPORT void QxDestroyObject(const wchar_t*, sondrel::ICompanionObject* object) {
  delete static_cast<sondrel::merrin::MerrinPlugin*>(object);
}
