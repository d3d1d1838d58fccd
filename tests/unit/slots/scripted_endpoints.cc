#include "unit/slots/scripted_endpoints.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "protocol/comm_message.h"

namespace sondrel::test {
namespace {

void PutU32At(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) {
    bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

}  // namespace

std::vector<uint8_t> GrantPayload(const ServerIdentity& slot) {
  std::vector<uint8_t> payload(4 + slot.size());
  PutU32At(payload, 0, 20);
  std::copy(slot.begin(), slot.end(), payload.begin() + 4);
  return payload;
}

std::vector<uint8_t> AnswerRecord(const std::vector<uint8_t>& payload, uint32_t announcedLength) {
  // Message header: messageType at 16, messageKind at 20, payloadLength at 28; payload at 44.
  std::vector<uint8_t> record(44 + payload.size() + 4);
  PutU32At(record, 16, 112);
  PutU32At(record, 20, 1);
  PutU32At(record, 28, announcedLength);
  std::copy(payload.begin(), payload.end(), record.begin() + 44);
  return record;
}

ScriptedEndpoint::ScriptedEndpoint(std::string host, std::optional<ServerIdentity> id,
                                   std::vector<SentSlotMessage>& sent)
    : host_(std::move(host)), id_(id), sent_(sent) {}

bool ScriptedEndpoint::GetServerVersion(uint32_t* version) {
  if (!id_) {
    return false;
  }
  *version = 3 | 1u << 16;
  return true;
}

bool ScriptedEndpoint::GetServerId(ServerIdentity* identity) {
  if (!id_) {
    return false;
  }
  *identity = *id_;
  return true;
}

int32_t ScriptedEndpoint::Send(MessageCallback handler, void* handlerContext, uint32_t messageType,
                               uint32_t messageKind, void* payload, uint32_t payloadLength,
                               int32_t timeoutMs) {
  const auto* bytes = static_cast<const uint8_t*>(payload);
  sent_.push_back({host_, messageType, messageKind,
                   std::vector<uint8_t>(bytes, bytes + payloadLength), timeoutMs});
  if (messageType != 112) {
    return oneWayResult;
  }
  AllocationAnswer answer{0, std::vector<uint8_t>{}};
  if (!allocations.empty()) {
    answer = std::move(allocations.front());
    allocations.pop_front();
  }
  if (answer.result == 0 && answer.payload && handler != nullptr) {
    const std::vector<uint8_t> record =
        AnswerRecord(*answer.payload, static_cast<uint32_t>(answer.payload->size()));
    auto* block = static_cast<uint8_t*>(std::calloc(record.size(), 1));
    std::memcpy(block, record.data(), record.size());
    handler(CommMessage::Adopt(block, record.size()), handlerContext, nullptr);
  }
  return answer.result;
}

int32_t EndpointCommClient::EnumerateEndpoints(EndpointsCallback callback, void* context) {
  if (callback == nullptr) {
    return 1;
  }
  ++visits;
  callback(endpoints.data(), static_cast<int32_t>(endpoints.size()), context);
  return 0;
}

}  // namespace sondrel::test
