#include "unit/scan/conversation_test_support.h"

#include <cstdlib>
#include <cstring>

#include "logging/logger_registry.h"
#include "protocol/payload_buffer.h"
#include "support/fake_server/wire_frame.h"

namespace sondrel::test {

int32_t RecordingCommClient::SendRequest(void* requestKey, int32_t channelIndex,
                                         uint32_t messageType, uint32_t messageKind, void* payload,
                                         uint32_t payloadLength, int32_t timeoutMs,
                                         bool callerKeepsPayload) {
  const auto* bytes = static_cast<const uint8_t*>(payload);
  replies.push_back({requestKey, channelIndex, messageType, messageKind,
                     std::vector<uint8_t>(bytes, bytes + payloadLength), timeoutMs,
                     callerKeepsPayload});
  if (!callerKeepsPayload) {
    FreePayload(static_cast<uint8_t*>(payload));
  }
  return 0;
}

uint8_t* RecordingCommClient::AllocPayload(uint32_t length) {
  uint8_t* payload = sondrel::AllocPayload(length);
  if (payload != nullptr) {
    ++buffersOutstanding;
  }
  return payload;
}

void RecordingCommClient::FreePayload(uint8_t* payload) {
  if (payload != nullptr) {
    --buffersOutstanding;
  }
  sondrel::FreePayload(payload);
}

void RecordingCommClient::FreeBuffer(char** buffer) {
  std::free(*buffer);
  *buffer = nullptr;
}

bool RecordingCommClient::GetChannelServer(int32_t, char** host, bool* tls) {
  if (server.empty()) {
    return false;
  }
  *host = static_cast<char*>(std::malloc(server.size() + 1));
  std::memcpy(*host, server.c_str(), server.size() + 1);
  *tls = serverTls;
  return true;
}

CommMessagePtr ServerRecord(uint32_t type, uint32_t kind, const std::vector<uint8_t>& payload,
                            int32_t channel, uint32_t serverStatus) {
  WireFrame frame = PlainFrame(type, kind, payload);
  frame.channelIndex = channel;
  frame.serverStatus = serverStatus;
  const std::vector<uint8_t> bytes = PackFrame(frame);
  constexpr size_t kFrameHeader = 20;
  CommMessagePtr record = CommMessage::Allocate(bytes.size() - kFrameHeader);
  std::memcpy(record->data(), bytes.data() + kFrameHeader, record->size());
  return record;
}

void PutU32(std::vector<uint8_t>& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
}

void PutU64(std::vector<uint8_t>& bytes, uint64_t value) {
  for (int i = 0; i < 8; ++i) {
    bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
}

uint32_t GetU32(const std::vector<uint8_t>& bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    value |= static_cast<uint32_t>(bytes.at(offset + i)) << (8 * i);
  }
  return value;
}

uint64_t GetU64(const std::vector<uint8_t>& bytes, size_t offset) {
  return GetU32(bytes, offset) | (static_cast<uint64_t>(GetU32(bytes, offset + 4)) << 32);
}

ConversationFixture::ConversationFixture(uint64_t fileSize) : host(PatternFile(0)) {
  host.SetSize(fileSize);
  context.callbacks = &host.callbacks();
  context.fileReader.callbacks = &host.callbacks();
  context.displayName = "report.doc";
  context.verdict = 1;
  context.useLocalCache = true;
  context.hashCopy.assign(16, 0xAB);
  services.commClient = &client;
  services.settings = &settings;
  services.cacheExclusions = &exclusions;
  services.localCache = &cache;
  services.logger = GetLogger("qx.sondrel.scan.manager");
}

}  // namespace sondrel::test
