// What the internal monitor knows of one registered client from its events, and the status it
// reports for that client.
#pragma once

#include <boost/date_time/posix_time/ptime.hpp>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/server_settings.h"

namespace sondrel::kalvix {

struct ClientEvents {
  // The pair of the last availability event; both false before the first one.
  bool canScan = false;
  bool canScanRemote = false;
  // When the last availability and best-session events arrived (UTC).
  std::optional<boost::posix_time::ptime> availabilityTime;
  std::optional<boost::posix_time::ptime> bestSessionTime;
  // The slot pairs handed to this client, at its registration, from the client it replaced.
  size_t slotPairs = 0;
};

struct ClientStatus {
  ClientEvents events;
  // What the face answered for the current connections (0: `connections` holds them).
  int32_t connectionsResult = 0;
  std::vector<ServerSettings> connections;
};

// The status document: {"settingsFile": ..., "clients": [{"canScan", "canScanRemote",
// "connections": [{"address", "port", "tls", "priority", "enforced"}] or null,
// "lastAvailabilityEvent": {"time", "canScan", "canScanRemote"} or null,
// "lastBestSessionEvent": {"time"} or null, "slotPairs"}]}, one line of JSON.
std::string StatusDocument(const std::string& settingsFile,
                           const std::vector<ClientStatus>& clients);

}  // namespace sondrel::kalvix
