// The order of pool sessions and the choice of the best one.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "comm/server_state.h"
#include "comm/session_pool.h"
#include "comm/session_ranking.h"
#include "comm/sock_comm_session.h"
#include "unit/comm/session_test_support.h"

namespace sondrel::test {
namespace {

TEST(SessionRankingTest, CompareSessions) {
  struct Case {
    SessionRank a;
    SessionRank b;
    bool aFirst;
  };
  const Case cases[] = {
      // Normal and underloaded rank alike: the priority decides.
      {{Server_Underloaded, false, 1}, {Server_Normal, false, 2}, true},
      {{Server_Normal, false, 2}, {Server_Underloaded, false, 1}, false},
      // Otherwise the lower state first, whatever the priorities and enforcement.
      {{Server_Normal, false, 9}, {Server_Overloaded, false, 1}, true},
      {{Server_Overloaded, true, 1}, {Server_Normal, false, 9}, false},
      {{Server_Overloaded, false, 1}, {Server_Down, false, 1}, true},
      {{Server_Retired, false, 1}, {Server_Unknown, false, 9}, false},
      // At equal states an enforced server wins, then the lower priority.
      {{Server_Normal, true, 5}, {Server_Normal, false, 1}, true},
      {{Server_Normal, false, 1}, {Server_Normal, true, 5}, false},
      {{Server_Overloaded, true, 5}, {Server_Overloaded, false, 1}, true},
      {{Server_Down, false, 1}, {Server_Down, false, 2}, true},
      {{Server_Normal, true, 1}, {Server_Normal, true, 2}, true},
      // Equals: neither ranks first.
      {{Server_Normal, false, 3}, {Server_Normal, false, 3}, false},
      {{Server_Normal, false, 3}, {Server_Underloaded, false, 3}, false},
      {{Server_Underloaded, false, 3}, {Server_Normal, false, 3}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.a.state << "/" << c.a.enforced << "/" << c.a.priority << " vs " << c.b.state
                 << "/" << c.b.enforced << "/" << c.b.priority);
    EXPECT_EQ(CompareSessions(c.a, c.b), c.aFirst);
  }
}

std::shared_ptr<SockCommSession> RankedSession(int32_t state, int32_t priority,
                                               bool enforced = false) {
  auto session = NewSession();
  CommServerEntry entry;
  entry.priority = priority;
  entry.enforced = enforced ? 1 : 0;
  session->SetServerEntry(entry);
  session->SetServerState(state, true);
  return session;
}

TEST(SessionRankingTest, SelectBestTakesTheEarliestAmongEquals) {
  SessionPool pool;
  EXPECT_EQ(pool.SelectBest(6), nullptr);
  auto first = RankedSession(Server_Normal, 2);
  auto second = RankedSession(Server_Underloaded, 2);
  auto third = RankedSession(Server_Normal, 2);
  pool.Append(first);
  pool.Append(second);
  pool.Append(third);
  EXPECT_EQ(pool.SelectBest(Server_Down), first);
  auto better = RankedSession(Server_Normal, 1);
  pool.Append(better);
  EXPECT_EQ(pool.SelectBest(Server_Down), better);
  auto enforced = RankedSession(Server_Overloaded, 7, true);
  pool.Append(enforced);
  EXPECT_EQ(pool.SelectBest(Server_Down), better);
}

TEST(SessionRankingTest, SelectBestLeavesOutUnusableSessionsBelowTheCutOff) {
  SessionPool pool;
  auto down = RankedSession(Server_Down, 1);
  auto retired = RankedSession(Server_Retired, 1);
  pool.Append(retired);
  pool.Append(down);
  EXPECT_EQ(pool.SelectBest(Server_Down), nullptr);
  EXPECT_EQ(pool.SelectBest(6), down);
  // A session in synchronous mode is chosen whatever its state.
  down->SetSyncMode(true);
  EXPECT_EQ(pool.SelectBest(Server_Down), down);
}

}  // namespace
}  // namespace sondrel::test
