#include "comm/pending_session.h"

#include <utility>

#include "comm/session_pool.h"
#include "comm/sock_comm_session.h"

namespace sondrel {

PendingSession::PendingSession(SessionPool& pool, const std::atomic<bool>& stopping)
    : pool_(pool), stopping_(stopping) {}

bool PendingSession::Begin(SessionPtr session) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_.load()) {
    return false;
  }
  session_ = std::move(session);
  return true;
}

bool PendingSession::Finish(const SessionPtr& session, bool publish) {
  std::lock_guard<std::mutex> lock(mutex_);
  session_.reset();
  if (stopping_.load()) {
    return false;
  }
  if (publish) {
    pool_.Append(session);
  }
  return true;
}

void PendingSession::Interrupt() {
  SessionPtr session;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    session = session_;
  }
  if (session != nullptr) {
    session->InterruptConnect();
  }
}

}  // namespace sondrel
