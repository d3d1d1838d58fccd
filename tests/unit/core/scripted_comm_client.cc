#include "unit/core/scripted_comm_client.h"

#include <stdexcept>

#include "comm/comm_client_options.h"
#include "protocol/message_codes.h"

namespace sondrel::test {

ScriptedCommClient::~ScriptedCommClient() {
  if (destroyed_ != nullptr) {
    *destroyed_ = true;
  }
}

int32_t ScriptedCommClient::SetOption(int32_t code, const void* value) {
  codes.push_back(code);
  switch (code) {
    case kOptionHelloCallback:
      messageCallback_ = reinterpret_cast<MessageCallback>(const_cast<void*>(value));
      break;
    case kOptionAvailabilityCallback:
      availabilityCallback_ = reinterpret_cast<AvailabilityCallback>(const_cast<void*>(value));
      break;
    case kOptionCallbackContext:
      context_ = const_cast<void*>(value);
      break;
    case kOptionServerGoneCallback:
      serverGoneCallback_ = reinterpret_cast<ServerGoneCallback>(const_cast<void*>(value));
      break;
    case kOptionServerGoneContext:
      serverGoneContext_ = const_cast<void*>(value);
      break;
    case kOptionRegion:
      region = static_cast<const char*>(value);
      break;
    case kOptionServers:
      servers = *static_cast<const std::vector<CommServerEntry>*>(value);
      break;
    case kOptionHelloLength:
      helloLength_ = *static_cast<const int32_t*>(value);
      break;
    case kOptionHelloPayload: {
      const auto* bytes = static_cast<const uint8_t*>(value);
      helloRecord.assign(bytes, bytes + helloLength_);
      break;
    }
    default:
      break;
  }
  return 0;
}

int32_t ScriptedCommClient::ApplyOptions() {
  codes.push_back(0);
  return 0;
}

int32_t ScriptedCommClient::Start() {
  ++starts;
  return startResult;
}

int32_t ScriptedCommClient::SendRequest(void* requestKey, int32_t channelIndex,
                                        uint32_t messageType, uint32_t messageKind, void* payload,
                                        uint32_t payloadLength, int32_t timeoutMs,
                                        bool callerKeepsPayload) {
  RecordingCommClient::SendRequest(requestKey, channelIndex, messageType, messageKind, payload,
                                   payloadLength, timeoutMs, callerKeepsPayload);
  if (messageType != MessageType::ScanRequest || messageKind != MessageKind::Request) {
    return 0;
  }
  for (const CommMessagePtr& record : conversation) {
    messageCallback_(record, context_, requestKey);
  }
  return sendResult;
}

int32_t ScriptedCommClient::EnumerateEndpoints(EndpointsCallback callback, void* context) {
  ++enumerations;
  if (!endpoints.empty()) {
    callback(endpoints.data(), static_cast<int32_t>(endpoints.size()), context);
  }
  return 0;
}

int32_t ScriptedCommClient::ListServers(std::vector<CommServerEntry>& servers) {
  if (listThrows) {
    throw std::runtime_error("the pool broke");
  }
  servers.insert(servers.end(), listed.begin(), listed.end());
  return 0;
}

bool ScriptedCommClient::ReportServerGone(const ServerIdentity& identity) {
  return serverGoneCallback_(serverGoneContext_, &identity);
}

void ScriptedCommClient::ReportAvailability(bool available, int32_t connectionStatus) {
  availabilityCallback_(available, connectionStatus, context_);
}

}  // namespace sondrel::test
