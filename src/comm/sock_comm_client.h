// The connection manager: the pool of sessions to the configured scan servers, the request
// channels through which requesters talk to them, the client-wide TLS setup and the options the
// owner pushes in. In pool mode a pool manager thread keeps the pool (pool_manager.h); otherwise
// one session to the server of codes 4 and 5 is made at Start.
//
// Locks: the staged and the active option records each have their own mutex (ApplyOptions takes
// staged, then active); the session-list lock (SessionPool) is taken inside the channel table's
// lock when a new channel is published, and the binding lock may be taken inside the
// session-list lock; the table lock and the binding lock are never held together.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "comm/channel_session_provider.h"
#include "comm/channel_table.h"
#include "comm/comm_client_options.h"
#include "comm/i_sock_comm_client.h"
#include "comm/pending_session.h"
#include "comm/pool_control.h"
#include "comm/session_pool.h"
#include "comm/tls_setup.h"

namespace sondrel {

class PoolManager;
class SockCommSession;

class SockCommClient final : public ISockCommClient, public ChannelSessionProvider {
 public:
  using SessionPtr = std::shared_ptr<SockCommSession>;

  // The logger category of every session the client makes.
  static constexpr std::string_view kLoggerCategory = "qx.sondrel.comm";

  SockCommClient();
  // Stops the client if its owner has not.
  ~SockCommClient() override;
  SockCommClient(const SockCommClient&) = delete;
  SockCommClient& operator=(const SockCommClient&) = delete;

  int32_t Start() override;
  void Stop() override;
  int32_t SetOption(int32_t code, const void* value) override;
  int32_t ApplyOptions() override;
  int32_t AcquireChannel() override;
  void ReleaseChannel(int32_t channelIndex) override;
  void ReloadServers() override;
  int32_t SendRequest(void* requestKey, int32_t channelIndex, uint32_t messageType,
                      uint32_t messageKind, void* payload, uint32_t payloadLength,
                      int32_t timeoutMs, bool callerKeepsPayload) override;
  uint8_t* AllocPayload(uint32_t length) override;
  void FreePayload(uint8_t* payload) override;
  uint8_t* AllocFilledPayload(uint32_t length) override;
  int32_t ConnectBest() override;
  void CloseBest() override;
  int32_t ReceiveBest(CommMessagePtr& message) override;
  void FreeBuffer(char** buffer) override;
  bool GetChannelServer(int32_t channelIndex, char** host, bool* tls) override;
  int32_t EnumerateEndpoints(EndpointsCallback callback, void* context) override;
  int32_t ListServers(std::vector<CommServerEntry>& servers) override;

  std::shared_ptr<SockThreadChannel> GetChannel(int32_t index,
                                                const SockCommSession* session) override;

  // What the pool manager, the tools and the tests work with.

  // A copy of the options in effect.
  CommClientOptions ActiveOptions() const;
  // The best session (SessionPool::SelectBest).
  SessionPtr SelectBestSession(int32_t cutoff) const;
  // The pool as it is now, in insertion order.
  SessionPool::Sessions Sessions() const;
  // A session for one configured server, set up from the options in effect, not started.
  SessionPtr CreatePoolSession(const CommServerEntry& entry);
  SessionPool& pool() { return pool_; }
  PoolControl& control() { return control_; }
  ChannelTable& channels() { return channels_; }
  PendingSession& pendingSession() { return pendingSession_; }

 private:
  // The settings every session takes from the options.
  void Configure(SockCommSession& session, const CommClientOptions& options);
  // Sets each server's region-match flag from the region text.
  void MatchRegion();
  void StartSingleServer(const CommClientOptions& options);
  bool StartPoolManager();
  // Stops every session of the pool and empties it.
  void DiscardAll();
  // Marks that a request found no session, and shortens the pool manager's wait.
  void WakePoolManager();

  mutable std::mutex stagedMutex_;
  CommClientOptions staged_;
  mutable std::mutex activeMutex_;
  CommClientOptions active_;
  SessionPool pool_;
  ChannelTable channels_;
  TlsSetup tls_{kLoggerCategory};
  PoolControl control_;
  PendingSession pendingSession_{pool_, control_.stopping};
  // Serialises starting and ending the pool manager thread.
  std::mutex lifecycleMutex_;
  std::atomic<bool> started_{false};
  std::unique_ptr<PoolManager> poolManager_;
  std::thread poolThread_;
  // Serialises the callbacks of EnumerateEndpoints.
  std::mutex endpointLock_;
};

}  // namespace sondrel
