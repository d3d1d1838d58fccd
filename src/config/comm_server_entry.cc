#include "config/comm_server_entry.h"

#include "platform/utf8.h"

namespace sondrel {

void BuildCommServerEntries(const std::vector<ServerSettings>& servers,
                            std::vector<CommServerEntry>& entries) {
  entries.clear();
  entries.reserve(servers.size());
  for (const ServerSettings& server : servers) {
    CommServerEntry entry;
    entry.priority = server.priority;
    entry.enforced = server.enforced ? 1 : 0;
    entry.port = std::to_string(server.port);
    entry.address = platform::ToUtf8(server.address.View());
    entry.nodeid = platform::ToUtf8(server.nodeid.View());
    entry.useSSL = server.useSSL ? 1 : 0;
    entry.tlsPin = platform::ToUtf8(server.tlsPin.View());
    entries.push_back(std::move(entry));
  }
}

}  // namespace sondrel
