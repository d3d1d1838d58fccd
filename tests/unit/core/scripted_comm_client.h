// A connection manager for the client object's tests: it records the options it is given, starts
// with a chosen result, and plays a scripted server conversation for every scan request by
// handing the server's records to the registered message function on the requesting thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "comm/comm_client_callbacks.h"
#include "comm/i_server_endpoint.h"
#include "comm/message_callback.h"
#include "unit/scan/conversation_test_support.h"

namespace sondrel::test {

class ScriptedCommClient : public RecordingCommClient {
 public:
  // Set by the client's destructor so that a test can see the client go.
  explicit ScriptedCommClient(bool* destroyed = nullptr) : destroyed_(destroyed) {}
  ~ScriptedCommClient() override;

  int32_t SetOption(int32_t code, const void* value) override;
  int32_t ApplyOptions() override;
  int32_t Start() override;
  void Stop() override { ++stops; }
  int32_t AcquireChannel() override { return nextChannel++; }
  void ReleaseChannel(int32_t channel) override { released.push_back(channel); }
  void ReloadServers() override { ++reloads; }
  int32_t SendRequest(void* requestKey, int32_t channelIndex, uint32_t messageType,
                      uint32_t messageKind, void* payload, uint32_t payloadLength,
                      int32_t timeoutMs, bool callerKeepsPayload) override;

  // Presents `endpoints` (when there are any) to the callback.
  int32_t EnumerateEndpoints(EndpointsCallback callback, void* context) override;
  // Appends `listed`; throws when `listThrows` is set.
  int32_t ListServers(std::vector<CommServerEntry>& servers) override;

  // Reports the servers' availability as the pool manager does.
  void ReportAvailability(bool available, int32_t connectionStatus);
  // Reports that no session serves the server with this identity any more; its answer.
  bool ReportServerGone(const ServerIdentity& identity);

  // Option codes in the order they were set; 0 stands for ApplyOptions.
  std::vector<int32_t> codes;
  std::vector<uint8_t> helloRecord;
  std::string region;
  std::vector<CommServerEntry> servers;
  std::atomic<int> reloads{0};
  int enumerations = 0;
  int32_t startResult = 0;
  int starts = 0;
  int stops = 0;
  int32_t nextChannel = 0;
  std::vector<int32_t> released;
  std::vector<IServerEndpoint*> endpoints;
  std::vector<CommServerEntry> listed;
  bool listThrows = false;
  // What the server sends for the next scan request, and what the send then returns.
  std::vector<CommMessagePtr> conversation;
  int32_t sendResult = 0;

 private:
  bool* destroyed_;
  int32_t helloLength_ = 0;
  MessageCallback messageCallback_ = nullptr;
  AvailabilityCallback availabilityCallback_ = nullptr;
  void* context_ = nullptr;
  ServerGoneCallback serverGoneCallback_ = nullptr;
  void* serverGoneContext_ = nullptr;
};

}  // namespace sondrel::test
