// The server's requests that the host answers: read a range of the file, write to it, decide on a
// value, answer a callback. Each is answered with one reply on the request's channel (a read of
// more than 1 MiB with several pieces).
#pragma once

#include <span>

#include "logging/logger.h"
#include "scan/conversation_reply.h"

namespace sondrel {

class CacheExclusions;

void ServeReadRequest(const ConversationReply& reply, std::span<const uint8_t> payload,
                      const LoggerPtr& logger);
void ServeWriteRequest(const ConversationReply& reply, std::span<const uint8_t> payload);
void ServeValueRequest(const ConversationReply& reply, std::span<const uint8_t> payload);
// Paths a scan-from-AM callback lists are added to `exclusions`.
void ServeCallbackRequest(const ConversationReply& reply, std::span<const uint8_t> payload,
                          CacheExclusions& exclusions, const LoggerPtr& logger);

}  // namespace sondrel
