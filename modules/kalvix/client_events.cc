#include "client_events.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <nlohmann/json.hpp>

#include "platform/utf8.h"

namespace sondrel::kalvix {
namespace {

using nlohmann::json;

std::string Time(const boost::posix_time::ptime& time) {
  return boost::posix_time::to_iso_extended_string(time) + "Z";
}

json Connections(const ClientStatus& client) {
  if (client.connectionsResult != 0) {
    return nullptr;
  }
  json list = json::array();
  for (const ServerSettings& server : client.connections) {
    list.push_back({{"address", platform::ToUtf8(server.address.View())},
                    {"port", server.port},
                    {"tls", server.useSSL},
                    {"priority", server.priority},
                    {"enforced", server.enforced}});
  }
  return list;
}

}  // namespace

std::string StatusDocument(const std::string& settingsFile,
                           const std::vector<ClientStatus>& clients) {
  json list = json::array();
  for (const ClientStatus& client : clients) {
    const ClientEvents& events = client.events;
    json availability = nullptr;
    if (events.availabilityTime) {
      availability = {{"time", Time(*events.availabilityTime)},
                      {"canScan", events.canScan},
                      {"canScanRemote", events.canScanRemote}};
    }
    json bestSession = nullptr;
    if (events.bestSessionTime) {
      bestSession = {{"time", Time(*events.bestSessionTime)}};
    }
    list.push_back({{"canScan", events.canScan},
                    {"canScanRemote", events.canScanRemote},
                    {"connections", Connections(client)},
                    {"lastAvailabilityEvent", availability},
                    {"lastBestSessionEvent", bestSession},
                    {"slotPairs", events.slotPairs}});
  }
  return json{{"settingsFile", settingsFile}, {"clients", list}}.dump(
      -1, ' ', false, json::error_handler_t::replace);
}

}  // namespace sondrel::kalvix
