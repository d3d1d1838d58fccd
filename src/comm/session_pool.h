// The comm client's pool: its sessions in insertion order, behind one lock (the session-list
// lock). The lock is held only while the list is read or changed, never while a session is
// started, stopped or pinged, nor while a callback runs.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace sondrel {

class SockCommSession;

// The cut-off of SelectBest that keeps sessions in any state.
inline constexpr int32_t kAnyStateCutoff = 6;

// Stops a session that leaves the client for good and logs its traffic.
void DiscardSession(const std::shared_ptr<SockCommSession>& session);

class SessionPool {
 public:
  using SessionPtr = std::shared_ptr<SockCommSession>;
  using Sessions = std::vector<SessionPtr>;

  Sessions Snapshot() const;
  size_t size() const;
  void Append(SessionPtr session);
  // Empties the pool and returns what it held.
  Sessions TakeAll();
  // The session that ranks first (the earliest among equals); none when the pool is empty or when
  // that session's state is `cutoff` or above and it is not in synchronous mode. Cut-off 3 keeps
  // only usable sessions, 6 keeps any.
  SessionPtr SelectBest(int32_t cutoff) const;

  // Runs `visit` on the list with the lock held.
  template <typename Visit>
  decltype(auto) Locked(Visit&& visit) {
    std::lock_guard<std::mutex> lock(mutex_);
    return visit(sessions_);
  }
  template <typename Visit>
  decltype(auto) Locked(Visit&& visit) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return visit(static_cast<const Sessions&>(sessions_));
  }

 private:
  mutable std::mutex mutex_;
  Sessions sessions_;
};

}  // namespace sondrel
