// Where the companion libraries are looked for.
#pragma once

#include <string>

namespace sondrel {

// The directory of the library that contains this code, with a trailing separator; empty when
// the system cannot tell.
std::wstring LibraryDirectory();

// The response cache ("Merrin") in this library's directory.
std::wstring CacheLibraryPath();
// The monitor receiver ("ostrel") in the host executable's directory.
std::wstring MonitorReceiverLibraryPath();
// The file name of the internal monitor library ("Kalvix"); Init searches the directories for it.
std::wstring InternalMonitorLibraryName();

// The object names the companions are asked for.
inline constexpr const wchar_t* kCacheObjectName = L"Merrin";
inline constexpr const wchar_t* kInternalMonitorObjectName = L"InternalOstrel";
inline constexpr const wchar_t* kMonitorReceiverObjectName = L"monitorReceiver";

}  // namespace sondrel
