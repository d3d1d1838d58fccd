// Test doubles for the slot registry's view of the connection manager: endpoints that answer slot
// messages from a script and record what was sent to them, and a connection manager that presents
// them, in a chosen order and with empty entries where a test wants them, to the visit callback.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "comm/i_server_endpoint.h"
#include "comm/i_sock_comm_client.h"
#include "protocol/server_identity.h"

namespace sondrel::test {

// A message an endpoint was asked to send.
struct SentSlotMessage {
  std::string host;
  uint32_t type = 0;
  uint32_t kind = 0;
  std::vector<uint8_t> payload;
  int32_t timeoutMs = 0;
};

// What an endpoint does with one allocation: Send's result and, when it succeeds, the payload of
// the answer its handler receives (nothing: the handler is not called).
struct AllocationAnswer {
  int32_t result = 0;
  std::optional<std::vector<uint8_t>> payload;
};

// u32 20 and the 16 bytes of `slot`: a server's grant.
std::vector<uint8_t> GrantPayload(const ServerIdentity& slot);
// A received record (44-byte message header, payload, 4-byte trailer) of a final answer to an
// allocation, packed by hand; `announcedLength` is its payloadLength field.
std::vector<uint8_t> AnswerRecord(const std::vector<uint8_t>& payload, uint32_t announcedLength);

class ScriptedEndpoint final : public IServerEndpoint {
 public:
  // `id` nothing: a server without slot support. Every message is recorded in `sent`.
  ScriptedEndpoint(std::string host, std::optional<ServerIdentity> id,
                   std::vector<SentSlotMessage>& sent);

  const char* GetHostName() override { return host_.c_str(); }
  bool GetServerVersion(uint32_t* version) override;
  bool GetServerId(ServerIdentity* identity) override;
  int32_t GetState() override { return 0; }
  int32_t Send(MessageCallback handler, void* handlerContext, uint32_t messageType,
               uint32_t messageKind, void* payload, uint32_t payloadLength,
               int32_t timeoutMs) override;

  // Allocations are answered in this order; once they are used up, with an empty payload.
  std::deque<AllocationAnswer> allocations;
  // Send's result for free and keep messages.
  int32_t oneWayResult = 0;

 private:
  const std::string host_;
  const std::optional<ServerIdentity> id_;
  std::vector<SentSlotMessage>& sent_;
};

// A connection manager whose only working operation is EnumerateEndpoints.
class EndpointCommClient final : public ISockCommClient {
 public:
  // Entries may be null (an endpoint without a session as the visit sees it).
  std::vector<IServerEndpoint*> endpoints;
  int visits = 0;

  int32_t EnumerateEndpoints(EndpointsCallback callback, void* context) override;

  int32_t Start() override { return 0; }
  void Stop() override {}
  int32_t SetOption(int32_t, const void*) override { return 0; }
  int32_t ApplyOptions() override { return 0; }
  int32_t AcquireChannel() override { return -1; }
  void ReleaseChannel(int32_t) override {}
  void ReloadServers() override {}
  int32_t SendRequest(void*, int32_t, uint32_t, uint32_t, void*, uint32_t, int32_t, bool) override {
    return kNoUsableSession;
  }
  uint8_t* AllocPayload(uint32_t) override { return nullptr; }
  void FreePayload(uint8_t*) override {}
  int32_t ConnectBest() override { return kNoUsableSession; }
  void CloseBest() override {}
  int32_t ReceiveBest(CommMessagePtr&) override { return kNoUsableSession; }
  void FreeBuffer(char**) override {}
  bool GetChannelServer(int32_t, char**, bool*) override { return false; }
  int32_t ListServers(std::vector<CommServerEntry>&) override { return 0; }
};

}  // namespace sondrel::test
