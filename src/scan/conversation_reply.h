// Answers to a server's requests inside a conversation: sent on the channel the request came on,
// for the request's context, with the time-out of the request's settings snapshot. The channel is
// already waiting, so these sends return once the message is on its way.
#pragma once

#include <cstdint>

#include "comm/i_sock_comm_client.h"
#include "scan/scan_context.h"

namespace sondrel {

struct ConversationReply {
  ISockCommClient& client;
  ScanContext& context;
  int32_t channel;
  int32_t timeoutMs;

  // A payload buffer for a reply, from the comm client; null when memory is short.
  uint8_t* Allocate(uint32_t length) const { return client.AllocPayload(length); }
  // A payload buffer for a reply whose every byte sent is written first: a file piece.
  uint8_t* AllocateFilled(uint32_t length) const { return client.AllocFilledPayload(length); }
  // Hands over a buffer from Allocate; the comm client releases it.
  void SendBuffer(uint32_t type, uint32_t kind, uint8_t* payload, uint32_t length) const {
    client.SendRequest(&context, channel, type, kind, payload, length, timeoutMs, false);
  }
  // Sends a local record, which the comm client copies.
  void SendRecord(uint32_t type, uint32_t kind, const uint8_t* record, uint32_t length) const {
    client.SendRequest(&context, channel, type, kind, const_cast<uint8_t*>(record), length,
                       timeoutMs, true);
  }
};

}  // namespace sondrel
