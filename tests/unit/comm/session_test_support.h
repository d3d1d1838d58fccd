// Sessions as the session tests make them: pointed at a fake server, with the test's channel table
// as their provider and small time-outs, plus what a hello callback receives.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "comm/channel_table.h"
#include "comm/sock_comm_session.h"
#include "protocol/comm_message.h"
#include "support/fake_server/fake_server.h"

namespace sondrel::test {

// A hello record as the client core builds it: versions 3.3, the engine version text, no host.
std::vector<uint8_t> HelloRecord();

// A session whose provider and channel table is `table` (may be null), with a request time-out
// small enough that a test never waits long for running-server data that does not come.
std::shared_ptr<SockCommSession> NewSession(ChannelTable* table = nullptr);
// Points `session` at the fake server on 127.0.0.1, and gives it the hello record.
void PointAt(SockCommSession& session, const FakeServer& server);

// Polls `condition` until it holds or `timeoutMs` have passed; returns whether it holds.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000);

// The session's address as its log lines print it.
std::string LoggedAddress(const SockCommSession& session);

// Records the calls of a MessageCallback: use &HelloLog::Record with the log as context.
class HelloLog {
 public:
  static void Record(const CommMessagePtr& message, void* context, void* requester);
  size_t size() const;
  std::vector<CommMessagePtr> messages() const;
  std::vector<void*> requesters() const;

 private:
  mutable std::mutex mutex_;
  std::vector<CommMessagePtr> messages_;
  std::vector<void*> requesters_;
};

}  // namespace sondrel::test
