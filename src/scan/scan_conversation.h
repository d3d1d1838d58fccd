// The handler of the messages a scan server sends while a request waits for its answer: it reads
// file ranges for the server, takes detection reports, final answers and server-cache answers into
// the request's context, writes and asks on the host's behalf during a disinfection, and forwards
// callbacks. It runs on the requesting thread inside the wait, and answers on the same channel.
#pragma once

#include "logging/logger.h"
#include "protocol/comm_message.h"

namespace sondrel {

class CacheExclusions;
class ILocalResponseCache;
class ISockCommClient;
class SettingsStore;
struct ScanContext;

// What the handler works with besides the request's context; all of it belongs to the client.
struct ConversationServices {
  ISockCommClient* commClient = nullptr;
  SettingsStore* settings = nullptr;
  CacheExclusions* cacheExclusions = nullptr;
  // Null while no response cache is loaded.
  ILocalResponseCache* localCache = nullptr;
  LoggerPtr logger;
};

// Handles one received record. `context` is the waiting request's context; it is null for a
// session's hello answer, which is the only message handled without one.
void HandleConversationMessage(const CommMessagePtr& message, ScanContext* context,
                               const ConversationServices& services);

}  // namespace sondrel
