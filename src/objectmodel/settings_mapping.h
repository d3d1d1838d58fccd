// The object-model mappings of the settings record and of its per-server record, built once on
// first use and shared by every proxy over those records.
#pragma once

#include <cstdint>
#include <memory>

#include "config/server_settings.h"
#include "config/settings.h"
#include "objectmodel/object_mapping.h"

namespace Kalvix {

inline constexpr uint32_t kSettingsFirstId = 0x20000;
inline constexpr uint32_t kSettingsEndId = 0x21000;
inline constexpr uint32_t kServerSettingsFirstId = 0x21000;
inline constexpr uint32_t kServerSettingsEndId = 0x22000;

// Every field of Settings; the server list is a container property over ServerSettingsMapping.
const ObjectMapping<sondrel::Settings>& SettingsMapping();

const std::shared_ptr<const ObjectMapping<sondrel::ServerSettings>>& ServerSettingsMapping();

}  // namespace Kalvix
