// The pool manager: the thread that keeps the comm client's pool in pool mode. Each pass removes
// failed and retired sessions, connects further sessions in priority order when the pool must be
// rebuilt, trims the pool back to its minimum by retiring the worst sessions, pings every session
// and drops slow ones, reports servers that no session serves any more, reports the best session
// and the availability of a usable server, and waits reconnectInterval seconds.
//
// Every step runs on the pool manager's thread. The session-list lock is held only for short reads
// and changes of the pool, never while a session is started, stopped or pinged, nor while a
// callback runs; the pass lock covers the rebuild part of a pass.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "comm/comm_client_options.h"
#include "protocol/server_identity.h"

namespace sondrel {

class SockCommClient;
class SockCommSession;

class PoolManager {
 public:
  explicit PoolManager(SockCommClient& client);
  PoolManager(const PoolManager&) = delete;
  PoolManager& operator=(const PoolManager&) = delete;

  // The thread's body: passes until the client stops.
  void Run();

 private:
  using SessionPtr = std::shared_ptr<SockCommSession>;
  enum class Reconcile { CleanUp, TrimToMinimum, CloseAll };

  void Pass();
  // Rebuilds the pool towards its limits: every server in priority order, then the deferred
  // second sessions to servers already in the pool.
  void Grow();
  // Connects to the servers of `list` in order. With `deferred`, a server that already has a
  // session is skipped (and deferred when second sessions are accepted) and sessions beyond the
  // minimum are kept only when they beat a pool session; without it, only the minimum is filled.
  void AddSessions(const std::vector<CommServerEntry>& list,
                   std::vector<CommServerEntry>* deferred);
  // Makes, starts and judges the latency of a session for `entry`, outside the pool; null when the
  // client is stopping.
  SessionPtr StartSession(const CommClientOptions& options, const CommServerEntry& entry);
  // Whether `session` beats some pool session by state, or by priority at equal state.
  bool BeatsSomePoolSession(const SockCommSession& session);
  void ReconcileSessions(Reconcile mode);
  void RetireDuplicates(int64_t count);
  void RetireWorst(int64_t count);
  // Takes retired sessions that no channel is bound to out of the pool, discards them and reports
  // the servers that no session serves any more.
  void RemoveRetired(const CommClientOptions& options);
  void ReportGone(const CommClientOptions& options, const ServerIdentity& identity);
  void RetryGoneServers();
  // Pings every session; with latency detection, drops the slow ones. True when one was dropped.
  bool PingAll(const CommClientOptions& options);
  void NotifyBestChanged(const CommClientOptions& options);
  void NotifyAvailability(const CommClientOptions& options);
  void WaitForNextPass(int64_t milliseconds);
  int64_t LiveSessions();
  bool stopping() const;

  SockCommClient& client_;
  int32_t passCounter_ = 0;
  SessionPtr lastBest_;
  std::vector<ServerIdentity> pendingGoneServers_;
  std::mutex passLock_;
};

}  // namespace sondrel
