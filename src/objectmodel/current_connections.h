// The servers the connection manager is connected to, as the monitor reads them: one record with
// the list of their settings. Its one property has the id of the settings record's server list.
#pragma once

#include <cstdint>
#include <vector>

#include "config/server_settings.h"
#include "objectmodel/object_mapping.h"

namespace Kalvix {

inline constexpr uint32_t kCurrentConnectionsFirstId = 0x20000;
inline constexpr uint32_t kCurrentConnectionsEndId = 0x21000;
inline constexpr uint32_t kPropConnections = 0x20001;

struct CurrentConnections {
  // The best session's server first.
  std::vector<sondrel::ServerSettings> servers;
};

const ObjectMapping<CurrentConnections>& CurrentConnectionsMapping();

}  // namespace Kalvix
