#include "comm/sock_comm_client.h"

#include <chrono>
#include <cstring>
#include <exception>
#include <string>
#include <thread>

#include "comm/pool_manager.h"
#include "comm/server_endpoint.h"
#include "comm/sock_comm_session.h"
#include "protocol/payload_buffer.h"

namespace sondrel {
namespace {

constexpr std::chrono::milliseconds kFirstPassPollInterval{10};

// Negative time-outs count as none at all.
uint32_t NonNegative(int32_t value) {
  return value < 0 ? 0 : static_cast<uint32_t>(value);
}

}  // namespace

SockCommClient::SockCommClient() = default;

SockCommClient::~SockCommClient() {
  Stop();
}

int32_t SockCommClient::SetOption(int32_t code, const void* value) {
  std::lock_guard<std::mutex> lock(stagedMutex_);
  return StoreOption(staged_, code, value);
}

int32_t SockCommClient::ApplyOptions() {
  std::scoped_lock lock(stagedMutex_, activeMutex_);
  active_ = staged_;
  return 0;
}

CommClientOptions SockCommClient::ActiveOptions() const {
  std::lock_guard<std::mutex> lock(activeMutex_);
  return active_;
}

int32_t SockCommClient::Start() {
  if (started_.exchange(true)) {
    return 0;
  }
  if (!channels_.CreateSpecialChannel()) {
    return kStartFailed;
  }
  MatchRegion();
  const CommClientOptions options = ActiveOptions();
  // What cannot be used of the TLS settings is reported now, not at the first connect.
  tls_.Update(options.tls, options.servers);
  if (!options.servers.empty() || options.poolMode) {
    if (!StartPoolManager()) {
      return kStartFailed;
    }
  } else {
    StartSingleServer(options);
  }
  if (!options.connectAsync) {
    while (!control_.firstPassDone.load() && !control_.stopping.load()) {
      std::this_thread::sleep_for(kFirstPassPollInterval);
    }
  }
  return 0;
}

void SockCommClient::MatchRegion() {
  std::lock_guard<std::mutex> lock(activeMutex_);
  if (active_.servers.empty() || active_.region.empty()) {
    return;
  }
  for (CommServerEntry& server : active_.servers) {
    server.regionMatch = server.address.find(active_.region) != std::string::npos ? 1 : 0;
  }
}

bool SockCommClient::StartPoolManager() {
  std::lock_guard<std::mutex> lock(lifecycleMutex_);
  if (control_.stopping.load()) {
    return true;
  }
  try {
    poolManager_ = std::make_unique<PoolManager>(*this);
    poolThread_ = std::thread([manager = poolManager_.get()] { manager->Run(); });
  } catch (const std::exception&) {
    // No memory or no thread for the pool manager.
    poolManager_.reset();
    return false;
  }
  return true;
}

void SockCommClient::StartSingleServer(const CommClientOptions& options) {
  auto session = std::make_shared<SockCommSession>(kLoggerCategory, this);
  Configure(*session, options);
  session->SetHost(options.host);
  session->SetPort(options.port);
  session->SetConnectAsync(options.connectAsync);
  session->SetHelloCallback(options.callbackContext, options.helloCallback);
  if (!pendingSession_.Begin(session)) {
    return;
  }
  try {
    session->Start();
  } catch (const std::exception&) {
    // Kept like a session whose connect failed: its state tells.
  }
  if (!pendingSession_.Finish(session, true)) {
    DiscardSession(session);
    return;
  }
  control_.firstPassDone.store(true);
}

void SockCommClient::Configure(SockCommSession& session, const CommClientOptions& options) {
  session.SetRequestTimeoutMs(NonNegative(options.requestTimeoutMs));
  session.SetLatencyThresholdUs(options.latencyTimeoutUs);
  session.SetSocketTimeoutMs(NonNegative(options.socketTimeoutMs));
  session.SetSyncMode(options.syncSessions);
  session.SetCompressionLevel(options.compressionLevel);
  session.SetCompressionMinBytes(options.compressionMinBytes);
  session.SetChannels(&channels_);
}

SockCommClient::SessionPtr SockCommClient::CreatePoolSession(const CommServerEntry& entry) {
  const CommClientOptions options = ActiveOptions();
  auto session = std::make_shared<SockCommSession>(kLoggerCategory, this);
  Configure(*session, options);
  session->SetConnectAsync(false);
  const std::vector<uint8_t> hello = options.HelloForSession();
  session->SetHelloPayload(hello.data(), static_cast<uint32_t>(hello.size()));
  session->SetServerEntry(entry);
  session->SetHost(entry.address);
  session->SetNodeId(entry.nodeid);
  if (entry.useSSL != 0) {
    tls_.Update(options.tls, options.servers);
    session->SetTls(tls_.ForServer(entry));
  }
  session->SetPort(entry.port);
  return session;
}

void SockCommClient::Stop() {
  control_.stopping.store(true);
  pendingSession_.Interrupt();
  DiscardAll();
  control_.wakeEvent.Signal();
  {
    std::lock_guard<std::mutex> lock(lifecycleMutex_);
    // A callback of the pool manager that stops the client cannot wait for its own thread.
    if (poolThread_.joinable() && poolThread_.get_id() != std::this_thread::get_id()) {
      poolThread_.join();
      poolManager_.reset();
    }
  }
  DiscardAll();
  channels_.ClearBindings();
}

void SockCommClient::DiscardAll() {
  for (const SessionPtr& session : pool_.TakeAll()) {
    DiscardSession(session);
  }
}

void SockCommClient::ReloadServers() {
  if (control_.stopping.load()) {
    return;
  }
  control_.reloadRequested.store(true);
  pool_.Locked([](const SessionPool::Sessions& sessions) {
    for (const SessionPtr& session : sessions) {
      session->SetServerState(Server_Retired, true);
    }
  });
  control_.poolChanged.store(true);
  control_.wakeNow.store(true);
  control_.wakeEvent.Signal();
}

SockCommClient::SessionPtr SockCommClient::SelectBestSession(int32_t cutoff) const {
  return pool_.SelectBest(cutoff);
}

SessionPool::Sessions SockCommClient::Sessions() const {
  return pool_.Snapshot();
}

uint8_t* SockCommClient::AllocPayload(uint32_t length) {
  return sondrel::AllocPayload(length);
}

void SockCommClient::FreePayload(uint8_t* payload) {
  sondrel::FreePayload(payload);
}

uint8_t* SockCommClient::AllocFilledPayload(uint32_t length) {
  return sondrel::AllocPayloadForFill(length);
}

int32_t SockCommClient::ConnectBest() {
  const SessionPtr best = SelectBestSession(Server_Down);
  return best != nullptr ? best->Connect() : kNoUsableSession;
}

void SockCommClient::CloseBest() {
  if (const SessionPtr best = SelectBestSession(Server_Down)) {
    best->Disconnect();
  }
}

int32_t SockCommClient::ReceiveBest(CommMessagePtr& message) {
  const SessionPtr best = SelectBestSession(Server_Down);
  return best != nullptr ? best->Receive(message) : kNoUsableSession;
}

void SockCommClient::FreeBuffer(char** buffer) {
  if (buffer != nullptr && *buffer != nullptr) {
    delete[] * buffer;
    *buffer = nullptr;
  }
}

bool SockCommClient::GetChannelServer(int32_t channelIndex, char** host, bool* tls) {
  const SessionPtr session = channels_.BoundSession(channelIndex);
  if (session == nullptr) {
    return false;
  }
  if (host != nullptr) {
    const std::string text = session->GetHost();
    *host = new char[text.size() + 1];
    std::memcpy(*host, text.c_str(), text.size() + 1);
  }
  if (tls != nullptr) {
    *tls = session->useTls();
  }
  return true;
}

int32_t SockCommClient::EnumerateEndpoints(EndpointsCallback callback, void* context) {
  if (callback == nullptr) {
    return 1;
  }
  const std::shared_ptr<SockThreadChannel> special = channels_.SpecialChannel();
  std::vector<std::unique_ptr<ServerEndpoint>> endpoints;
  pool_.Locked([&](const SessionPool::Sessions& sessions) {
    endpoints.reserve(sessions.size());
    for (const SessionPtr& session : sessions) {
      endpoints.push_back(std::make_unique<ServerEndpoint>(session, special));
    }
  });
  std::vector<IServerEndpoint*> array;
  array.reserve(endpoints.size());
  for (const auto& endpoint : endpoints) {
    array.push_back(endpoint.get());
  }
  std::lock_guard<std::mutex> lock(endpointLock_);
  callback(array.data(), static_cast<int32_t>(array.size()), context);
  return 0;
}

int32_t SockCommClient::ListServers(std::vector<CommServerEntry>& servers) {
  const SessionPtr best = SelectBestSession(Server_Down);
  pool_.Locked([&](const SessionPool::Sessions& sessions) {
    for (const SessionPtr& session : sessions) {
      if (session == best) {
        servers.insert(servers.begin(), session->serverEntry());
      } else {
        servers.push_back(session->serverEntry());
      }
    }
  });
  return 0;
}

}  // namespace sondrel
