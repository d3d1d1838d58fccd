// The factory of Merrin.so: it makes the "Merrin" object and nothing else.
#include <cwchar>
#include <new>

#include "companions/companion_factory.h"
#include "merrin_plugin.h"

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
  if (std::wcscmp(name, L"Merrin") != 0 || classId != sondrel::kCompanionClassId) {
    return kUnknownObject;
  }
  auto* created = new (std::nothrow) sondrel::merrin::MerrinPlugin();
  if (created == nullptr) {
    return kOutOfMemory;
  }
  *object = created;
  return 0;
}

SONDREL_COMPANION_EXPORT void QxDestroyObject(const wchar_t*, sondrel::ICompanionObject* object) {
  delete static_cast<sondrel::merrin::MerrinPlugin*>(object);
}
