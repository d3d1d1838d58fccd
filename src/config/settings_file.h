// The settings file "qxcore.xml": where it is and what it says.
#pragma once

#include <string>
#include <string_view>

#include "config/settings_file_record.h"

namespace sondrel {

// The path of the settings file: "settings/qxcore.xml" in the start directory (normally the
// host executable's), its parent or its grandparent, whichever holds it first; the start
// directory's candidate when none does.
std::wstring LocateSettingsFile(std::wstring_view startDirectory);

// Parses the file into a fresh record. Fails when the file cannot be opened or parsed, has no
// element, names no server at all ("server" or "servers"), or lists a server without
// "address"; the record is then incomplete and must not be applied.
bool ReadSettingsFile(const std::wstring& path, SettingsFileRecord& record);

}  // namespace sondrel
