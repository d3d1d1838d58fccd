// The pass of the pool manager, the ping of every session, the reports to the client's owner and
// the wait between passes. Growing and trimming the pool are in pool_manager_sessions.cc.
#include "comm/pool_manager.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>
#include <utility>

#include "comm/pool_control.h"
#include "comm/server_state.h"
#include "comm/session_pool.h"
#include "comm/sock_comm_client.h"
#include "comm/sock_comm_session.h"

namespace sondrel {
namespace {

constexpr std::chrono::milliseconds kWaitStep{100};
// The shortest wait between passes, so that a reconnect interval of 0 or below does not turn the
// pool manager into a busy loop.
constexpr int64_t kShortestWaitMs = 100;
// After a request found no session, the wait ends this long after it began.
constexpr int64_t kPoolChangedWaitMs = 5000;
// Passes after which a pool that looks complete is rebuilt all the same.
constexpr int32_t kPassesBetweenRebuilds = 5;

int64_t WholeSecondsNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

PoolManager::PoolManager(SockCommClient& client) : client_(client) {}

bool PoolManager::stopping() const {
  return client_.control().stopping.load();
}

void PoolManager::Run() {
  while (!stopping()) {
    try {
      Pass();
    } catch (const std::exception&) {
      // Only a lack of memory or threads gets here: the next pass tries again after a pause.
      WaitForNextPass(kShortestWaitMs);
    }
  }
}

void PoolManager::Pass() {
  PoolControl& control = client_.control();
  {
    std::lock_guard<std::mutex> passLock(passLock_);
    const CommClientOptions options = client_.ActiveOptions();
    control.wakeNow.store(false);
    if (options.enableScan && !options.servers.empty()) {
      ReconcileSessions(Reconcile::CleanUp);
      const auto [total, normal] = client_.pool().Locked([](const SessionPool::Sessions& sessions) {
        const auto normalCount = std::count_if(
            sessions.begin(), sessions.end(),
            [](const auto& session) { return session->serverState().state == Server_Normal; });
        return std::pair<int64_t, int64_t>(static_cast<int64_t>(sessions.size()), normalCount);
      });
      const int32_t counted = passCounter_++;
      const bool rebuild = counted > kPassesBetweenRebuilds ||
                           total > options.maxServerConnections ||
                           total < options.minServerConnections || total != normal ||
                           control.reloadRequested.load() || control.poolChanged.load();
      if (rebuild) {
        if (passCounter_ >= kPassesBetweenRebuilds) {
          passCounter_ = 0;
        }
        Grow();
        ReconcileSessions(Reconcile::CleanUp);
        Grow();
        if (!stopping()) {
          ReconcileSessions(Reconcile::TrimToMinimum);
        }
      }
    } else {
      ReconcileSessions(Reconcile::CloseAll);
    }
  }
  RetryGoneServers();
  const CommClientOptions options = client_.ActiveOptions();
  if (PingAll(options)) {
    ReconcileSessions(Reconcile::CleanUp);
  }
  if (stopping()) {
    // The owner is tearing the client down: it is told nothing more.
    return;
  }
  control.firstPassDone.store(true);
  NotifyBestChanged(options);
  NotifyAvailability(options);
  WaitForNextPass(static_cast<int64_t>(options.reconnectInterval) * 1000);
}

bool PoolManager::PingAll(const CommClientOptions& options) {
  bool dropped = false;
  for (const SessionPtr& session : client_.pool().Snapshot()) {
    if (stopping()) {
      break;
    }
    session->PingServer();
    if (stopping()) {
      break;
    }
    if (!options.detectLatency) {
      continue;
    }
    bool slow = session->slowPingCount() > 1;
    if (!slow && session->slowPingCount() == 1) {
      session->PingServer();
      slow = session->slowPingCount() > 1;
    }
    if (slow) {
      session->SetServerState(Server_Down, true);
      client_.control().poolChanged.store(true);
      client_.control().wakeNow.store(true);
      dropped = true;
    }
  }
  return dropped;
}

void PoolManager::NotifyBestChanged(const CommClientOptions& options) {
  if (options.bestChangedCallback == nullptr) {
    return;
  }
  SessionPtr best = client_.SelectBestSession(kAnyStateCutoff);
  if (best != lastBest_) {
    options.bestChangedCallback(options.callbackContext);
  }
  lastBest_ = std::move(best);
}

void PoolManager::NotifyAvailability(const CommClientOptions& options) {
  if (options.availabilityCallback == nullptr) {
    return;
  }
  const SessionPtr best = client_.SelectBestSession(kAnyStateCutoff);
  const int32_t state = best != nullptr ? best->serverState().state : Server_Down;
  // Only a session that can take requests makes the servers available: the best of the pool may
  // be retired and waiting for its channels to be released.
  options.availabilityCallback(state < Server_Down, state, options.callbackContext);
}

void PoolManager::WaitForNextPass(int64_t milliseconds) {
  PoolControl& control = client_.control();
  control.poolChanged.store(false);
  if (control.reloadRequested.exchange(false)) {
    // The pass after a reload follows at once.
    std::this_thread::sleep_for(kWaitStep);
    return;
  }
  const int64_t waitMs = std::max(milliseconds, kShortestWaitMs);
  const int64_t began = WholeSecondsNow();
  control.wakeEvent.WaitFor(std::chrono::milliseconds(waitMs));
  int64_t elapsed = (WholeSecondsNow() - began) * 1000;
  while (!stopping() && !control.wakeNow.load()) {
    if (elapsed >= waitMs || (control.poolChanged.load() && elapsed >= kPoolChangedWaitMs)) {
      return;
    }
    std::this_thread::sleep_for(kWaitStep);
    elapsed += kWaitStep.count();
    if (elapsed >= waitMs) {
      return;
    }
  }
}

}  // namespace sondrel
