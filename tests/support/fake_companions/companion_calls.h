// What the fake companion libraries were asked to do, in order. The record lives in a shared
// library of its own, so that a test reads it after the fake library was unloaded.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sondrel::test {

void RecordCompanionCall(std::string_view call);
std::vector<std::string> CompanionCalls();
void ClearCompanionCalls();

}  // namespace sondrel::test
