#include "comm/session_ranking.h"

#include "comm/server_state.h"
#include "comm/sock_comm_session.h"

namespace sondrel {

SessionRank RankOf(const SockCommSession& session) {
  const CommServerEntry entry = session.serverEntry();
  return {session.serverState().state, entry.enforced != 0, entry.priority};
}

bool CompareSessions(const SessionRank& a, const SessionRank& b) {
  if ((a.state > Server_Underloaded || b.state > Server_Underloaded) && a.state != b.state) {
    return a.state < b.state;
  }
  if (a.enforced != b.enforced) {
    return a.enforced;
  }
  return a.priority < b.priority;
}

bool CompareSessions(const SockCommSession& a, const SockCommSession& b) {
  return CompareSessions(RankOf(a), RankOf(b));
}

}  // namespace sondrel
