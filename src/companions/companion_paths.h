// Where the companion libraries are looked for.
#pragma once

#include <string>

namespace sondrel {

// The directory of the library that contains this code, with a trailing separator; empty when
// the system cannot tell.
std::wstring LibraryDirectory();

// The file names of the companion libraries: the response cache ("Merrin"), the monitor receiver
// ("ostrel") and the internal monitor library ("Kalvix"), with the platform's suffix.
std::wstring CacheLibraryName();
std::wstring MonitorReceiverLibraryName();
std::wstring InternalMonitorLibraryName();

// The response cache in this library's directory.
std::wstring CacheLibraryPath();
// The monitor receiver in the host executable's directory.
std::wstring MonitorReceiverLibraryPath();

// The object names the companions are asked for.
inline constexpr const wchar_t* kCacheObjectName = L"Merrin";
inline constexpr const wchar_t* kInternalMonitorObjectName = L"InternalOstrel";
inline constexpr const wchar_t* kMonitorReceiverObjectName = L"monitorReceiver";

}  // namespace sondrel
