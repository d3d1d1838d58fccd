#include "comm/server_state.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace sondrel {
namespace {

TEST(ServerStateTest, UpdatesFollowTheCountingRule) {
  struct Case {
    ServerStateValue current;
    int32_t state;
    bool counting;
    ServerStateValue next;
  };
  const Case cases[] = {
      {{Server_Unknown, 0}, Server_Normal, true, {Server_Normal, 1}},
      {{Server_Unknown, 0}, Server_Normal, false, {Server_Normal, 1}},
      {{Server_Overloaded, 2}, Server_Overloaded, true, {Server_Overloaded, 3}},
      {{Server_Overloaded, 2}, Server_Overloaded, false, {Server_Overloaded, 2}},
      {{Server_Overloaded, 7}, Server_Down, false, {Server_Down, 1}},
      {{Server_Retired, 1}, Server_Down, true, {Server_Retired, 1}},
      {{Server_Retired, 1}, Server_Retired, true, {Server_Retired, 1}},
      {{Server_Normal, 4}, Server_Retired, false, {Server_Retired, 1}},
      {{Server_Down, 0x7FFFFFFF}, Server_Down, true, {Server_Down, 0x7FFFFFFF}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.current.state << "/" << c.current.count << " <- "
                                    << c.state << (c.counting ? " counting" : ""));
    EXPECT_EQ(NextServerState(c.current, c.state, c.counting), c.next);
  }
}

TEST(ServerStateTest, CellStartsUnknownAndKeepsStateAndCountTogether) {
  ServerStateCell cell;
  EXPECT_EQ(cell.Load(), (ServerStateValue{Server_Unknown, 0}));

  cell.Set(Server_Overloaded, true);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&cell] {
      for (int i = 0; i < 1000; ++i) {
        cell.Set(Server_Overloaded, true);
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(cell.Load(), (ServerStateValue{Server_Overloaded, 4001}));
}

TEST(ServerStateTest, HelloLoadStateOfASynchronousAnswer) {
  struct Case {
    uint32_t serverStatus;
    int32_t state;
  };
  const Case cases[] = {
      {0x1, Server_Underloaded},
      {0x2 | 0x8, Server_Overloaded},
      {0x2 | 0x10, Server_Underloaded},
      {0x2, Server_Normal},
      {0x4, Server_Overloaded},
      {0x0, Server_Normal},
      {0x1 | 0x4, Server_Underloaded},
      {0x8, Server_Normal},
      {0x2 | 0x8 | 0x10, Server_Overloaded},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.serverStatus);
    EXPECT_EQ(HelloLoadState(c.serverStatus), c.state);
  }
}

}  // namespace
}  // namespace sondrel
