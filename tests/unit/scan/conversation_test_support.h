// What the conversation tests need: a comm client that records the replies instead of sending
// them, server records packed by hand from the protocol's tables, and a host that records the
// calls the conversation makes besides reading.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "comm/i_sock_comm_client.h"
#include "config/settings_store.h"
#include "protocol/comm_message.h"
#include "scan/cache_exclusions.h"
#include "scan/local_response_cache.h"
#include "scan/scan_context.h"
#include "scan/scan_conversation.h"
#include "support/fake_host/fake_host.h"

namespace sondrel::test {

struct SentReply {
  void* requestKey = nullptr;
  int32_t channel = 0;
  uint32_t type = 0;
  uint32_t kind = 0;
  std::vector<uint8_t> payload;
  int32_t timeoutMs = 0;
  bool callerKeepsPayload = false;
};

// Records every SendRequest and releases handed-over payloads as the real client does.
class RecordingCommClient : public ISockCommClient {
 public:
  int32_t Start() override { return 0; }
  void Stop() override {}
  int32_t SetOption(int32_t, const void*) override { return 0; }
  int32_t ApplyOptions() override { return 0; }
  int32_t AcquireChannel() override { return 0; }
  void ReleaseChannel(int32_t) override {}
  void ReloadServers() override {}
  int32_t SendRequest(void* requestKey, int32_t channelIndex, uint32_t messageType,
                      uint32_t messageKind, void* payload, uint32_t payloadLength,
                      int32_t timeoutMs, bool callerKeepsPayload) override;
  uint8_t* AllocPayload(uint32_t length) override;
  void FreePayload(uint8_t* payload) override;
  int32_t ConnectBest() override { return kNoUsableSession; }
  void CloseBest() override {}
  int32_t ReceiveBest(CommMessagePtr&) override { return kNoUsableSession; }
  void FreeBuffer(char** buffer) override;
  bool GetChannelServer(int32_t channelIndex, char** host, bool* tls) override;
  int32_t EnumerateEndpoints(EndpointsCallback, void*) override { return 0; }
  int32_t ListServers(std::vector<CommServerEntry>&) override { return 0; }

  std::vector<SentReply> replies;
  // The server GetChannelServer names; empty: no server serves the channel.
  std::string server;
  bool serverTls = false;
  // Payload buffers allocated and not yet released.
  int64_t buffersOutstanding = 0;
};

// A server's record (message header, payload, trailer) as the library receives it.
CommMessagePtr ServerRecord(uint32_t type, uint32_t kind, const std::vector<uint8_t>& payload,
                            int32_t channel = 5, uint32_t serverStatus = 0);

// Little-endian packing for the tests' own records.
void PutU32(std::vector<uint8_t>& bytes, uint32_t value);
void PutU64(std::vector<uint8_t>& bytes, uint64_t value);
uint32_t GetU32(const std::vector<uint8_t>& bytes, size_t offset);
uint64_t GetU64(const std::vector<uint8_t>& bytes, size_t offset);

class RecordingCache : public ILocalResponseCache {
 public:
  struct Entry {
    uint64_t size;
    std::vector<uint8_t> fingerprint;
    uint32_t value;
  };
  bool Lookup(uint64_t, std::span<const uint8_t>, uint32_t) override { return false; }
  void Store(uint64_t fileSize, std::span<const uint8_t> fingerprint,
             uint32_t cacheValue) override {
    stored.push_back({fileSize, {fingerprint.begin(), fingerprint.end()}, cacheValue});
  }
  std::vector<Entry> stored;
};

// A waiting request's context over a FakeHost, and everything the handler is given.
class ConversationFixture {
 public:
  explicit ConversationFixture(uint64_t fileSize = 4096);

  void Handle(const CommMessagePtr& record) {
    HandleConversationMessage(record, &context, services);
  }

  FakeHost host;
  ScanContext context;
  RecordingCommClient client;
  SettingsStore settings;
  CacheExclusions exclusions;
  RecordingCache cache;
  ConversationServices services;
};

}  // namespace sondrel::test
