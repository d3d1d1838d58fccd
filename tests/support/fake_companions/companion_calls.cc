#include "fake_companions/companion_calls.h"

#include <mutex>

namespace sondrel::test {
namespace {

std::mutex mutex;
std::vector<std::string>& Calls() {
  static std::vector<std::string> calls;
  return calls;
}

}  // namespace

void RecordCompanionCall(std::string_view call) {
  std::lock_guard lock(mutex);
  Calls().emplace_back(call);
}

std::vector<std::string> CompanionCalls() {
  std::lock_guard lock(mutex);
  return Calls();
}

void ClearCompanionCalls() {
  std::lock_guard lock(mutex);
  Calls().clear();
}

}  // namespace sondrel::test
