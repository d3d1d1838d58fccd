// The order in which pool sessions are preferred: by server state (Server_Normal and
// Server_Underloaded alike), then enforced servers first, then by priority (lower is better).
#pragma once

#include <cstdint>

namespace sondrel {

class SockCommSession;

// What the ranking looks at.
struct SessionRank {
  int32_t state = 0;
  bool enforced = false;
  int32_t priority = 0;
};

SessionRank RankOf(const SockCommSession& session);

// True when `a` ranks before `b`.
bool CompareSessions(const SessionRank& a, const SessionRank& b);
bool CompareSessions(const SockCommSession& a, const SockCommSession& b);

}  // namespace sondrel
