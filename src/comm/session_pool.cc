#include "comm/session_pool.h"

#include <utility>

#include "comm/session_ranking.h"
#include "comm/sock_comm_session.h"

namespace sondrel {

void DiscardSession(const std::shared_ptr<SockCommSession>& session) {
  session->Stop();
  session->LogTraffic();
}

SessionPool::Sessions SessionPool::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sessions_;
}

size_t SessionPool::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sessions_.size();
}

void SessionPool::Append(SessionPtr session) {
  std::lock_guard<std::mutex> lock(mutex_);
  sessions_.push_back(std::move(session));
}

SessionPool::Sessions SessionPool::TakeAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(sessions_, {});
}

SessionPool::SessionPtr SessionPool::SelectBest(int32_t cutoff) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (sessions_.empty()) {
    return nullptr;
  }
  SessionPtr best = sessions_.front();
  for (const SessionPtr& session : sessions_) {
    if (CompareSessions(*session, *best)) {
      best = session;
    }
  }
  if (best->serverState().state >= cutoff && !best->syncMode()) {
    return nullptr;
  }
  return best;
}

}  // namespace sondrel
