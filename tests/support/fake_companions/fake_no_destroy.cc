// FakeNoDestroy.so: a companion that exports QxCreateObject but not QxDestroyObject.
#include <cstdint>

#include "companions/companion_factory.h"
#include "fake_companions/companion_calls.h"

namespace {

__attribute__((constructor)) void OnLoad() {
  sondrel::test::RecordCompanionCall("load");
}

__attribute__((destructor)) void OnUnload() {
  sondrel::test::RecordCompanionCall("unload");
}

}  // namespace

SONDREL_COMPANION_EXPORT int32_t QxCreateObject(const wchar_t*, sondrel::Guid,
                                                sondrel::ICompanionObject**) {
  sondrel::test::RecordCompanionCall("create");
  return 0;
}
