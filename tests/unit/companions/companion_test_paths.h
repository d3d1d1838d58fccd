// The companion libraries the tests load, as the holders take their paths.
#pragma once

#include <string>

#include "platform/utf8.h"

namespace sondrel::test {

inline std::wstring FakeCompanionPath() {
  return platform::ToWide(SONDREL_FAKE_COMPANION);
}
inline std::wstring FakeNoDestroyPath() {
  return platform::ToWide(SONDREL_FAKE_NO_DESTROY);
}
inline std::wstring MerrinPath() {
  return platform::ToWide(SONDREL_MERRIN);
}
inline std::wstring OstrelPath() {
  return platform::ToWide(SONDREL_OSTREL);
}

}  // namespace sondrel::test
