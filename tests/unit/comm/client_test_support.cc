#include "unit/comm/client_test_support.h"

#include <utility>

#include "comm/sock_comm_session.h"
#include "support/fake_server/server_frames.h"
#include "unit/comm/session_test_support.h"

namespace sondrel::test {

std::unique_ptr<FakeServer> ScriptedServer(SessionScript script, const std::string& address) {
  FakeServerOptions options;
  options.address = address;
  return std::make_unique<FakeServer>(
      [script = std::move(script)](FakeConnection& connection) {
        ServeSession(connection, script);
      },
      options);
}

SessionScript FinalAnswers(FrameLog* log) {
  SessionScript script;
  script.onMessage = [log](FakeConnection& connection, const WireFrame& frame) {
    if (log != nullptr) {
      log->Record(frame);
    }
    if (frame.messageKind != 0) {
      return true;
    }
    return connection.Send(AnswerTo(frame, frame.messageType, 1));
  };
  return script;
}

SessionScript ScriptWithId(const std::array<uint8_t, 16>& id) {
  SessionScript script;
  script.runningData = RunningServerData(24, id, 3, 1);
  return script;
}

CommServerEntry EntryFor(const FakeServer& server, int32_t priority, bool enforced) {
  CommServerEntry entry;
  entry.priority = priority;
  entry.enforced = enforced ? 1 : 0;
  entry.port = std::to_string(server.port());
  entry.address = server.endpoint().address().to_string();
  return entry;
}

void SetInt(ISockCommClient& client, int32_t code, int32_t value) {
  client.SetOption(code, &value);
}

void Configure(ISockCommClient& client, const PoolSettings& settings) {
  SetInt(client, kOptionPoolMode, 1);
  const std::vector<uint8_t> hello = HelloRecord();
  SetInt(client, kOptionHelloLength, static_cast<int32_t>(hello.size()));
  client.SetOption(kOptionHelloPayload, hello.data());
  client.SetOption(kOptionServers, &settings.servers);
  SetInt(client, kOptionMinServerConnections, settings.minServerConnections);
  SetInt(client, kOptionMaxServerConnections, settings.maxServerConnections);
  SetInt(client, kOptionReconnectInterval, settings.reconnectInterval);
  SetInt(client, kOptionAcceptConnectSameServer, settings.acceptConnectSameServer ? 1 : 0);
  SetInt(client, kOptionDetectLatency, settings.detectLatency ? 1 : 0);
  SetInt(client, kOptionConnectAsync, settings.connectAsync ? 1 : 0);
  SetInt(client, kOptionRequestTimeout, settings.requestTimeoutMs);
  SetInt(client, kOptionSocketTimeout, settings.socketTimeoutMs);
  client.ApplyOptions();
}

int32_t StartWithServer(ISockCommClient& client, const FakeServer& server) {
  Configure(client, {.servers = {EntryFor(server, 1)}, .reconnectInterval = 30});
  return client.Start();
}

void CallbackLog::RegisterWith(ISockCommClient& client) {
  client.SetOption(kOptionAvailabilityCallback, reinterpret_cast<const void*>(&OnAvailability));
  client.SetOption(kOptionBestChangedCallback, reinterpret_cast<const void*>(&OnBestChanged));
  client.SetOption(kOptionCallbackContext, this);
  client.SetOption(kOptionServerGoneCallback, reinterpret_cast<const void*>(&OnServerGone));
  client.SetOption(kOptionServerGoneContext, this);
}

void CallbackLog::SetGoneAnswer(bool answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  goneAnswer_ = answer;
}

std::vector<CallbackLog::Availability> CallbackLog::availability() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return availability_;
}

size_t CallbackLog::bestChanges() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bestChanges_;
}

std::vector<ServerIdentity> CallbackLog::goneCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return goneCalls_;
}

size_t CallbackLog::acceptedGoneCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return acceptedGoneCalls_;
}

void CallbackLog::OnAvailability(bool available, int32_t state, void* context) {
  auto* log = static_cast<CallbackLog*>(context);
  std::lock_guard<std::mutex> lock(log->mutex_);
  log->availability_.push_back({available, state});
}

bool CallbackLog::OnBestChanged(void* context) {
  auto* log = static_cast<CallbackLog*>(context);
  std::lock_guard<std::mutex> lock(log->mutex_);
  ++log->bestChanges_;
  return true;
}

bool CallbackLog::OnServerGone(void* context, const ServerIdentity* identity) {
  auto* log = static_cast<CallbackLog*>(context);
  std::lock_guard<std::mutex> lock(log->mutex_);
  log->goneCalls_.push_back(*identity);
  if (log->goneAnswer_) {
    ++log->acceptedGoneCalls_;
  }
  return log->goneAnswer_;
}

void FrameLog::Record(const WireFrame& frame) {
  std::lock_guard<std::mutex> lock(mutex_);
  frames_.push_back(frame);
}

std::vector<WireFrame> FrameLog::frames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return frames_;
}

bool FrameLog::WaitForCount(size_t count, int timeoutMs) const {
  return WaitFor([&] { return frames().size() >= count; }, timeoutMs);
}

std::vector<std::string> PoolHosts(const SockCommClient& client) {
  std::vector<std::string> hosts;
  for (const auto& session : client.Sessions()) {
    hosts.push_back(session->GetHost());
  }
  return hosts;
}

bool WaitForPool(const SockCommClient& client, const std::vector<std::string>& hosts,
                 int timeoutMs) {
  return WaitFor([&] { return PoolHosts(client) == hosts; }, timeoutMs);
}

}  // namespace sondrel::test
