// The session being started outside the pool (by the pool manager, or by Start in single-server
// mode). Its start connects synchronously and may block for long; Stop cannot see it in the pool
// yet, so it interrupts it here. Publishing it into the pool and Stop exclude each other: a session
// finished after Stop has begun is never published, so Stop never leaves one running behind.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

namespace sondrel {

class SessionPool;
class SockCommSession;

class PendingSession {
 public:
  using SessionPtr = std::shared_ptr<SockCommSession>;

  PendingSession(SessionPool& pool, const std::atomic<bool>& stopping);

  // Registers the session about to be started; false, registering nothing, once stopping is set.
  bool Begin(SessionPtr session);
  // Ends the registration and, when `publish` is set, appends the session to the pool. False when
  // stopping is set: nothing is published and the caller discards the session.
  bool Finish(const SessionPtr& session, bool publish);
  // Called by Stop after it set stopping: ends the connect of the registered session at once.
  void Interrupt();

 private:
  SessionPool& pool_;
  const std::atomic<bool>& stopping_;
  std::mutex mutex_;
  SessionPtr session_;
};

}  // namespace sondrel
