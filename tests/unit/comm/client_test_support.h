// Comm clients as the client tests make them: pool mode over fake servers on loopback addresses,
// small time-outs, and a record of the calls the client makes into its owner.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "comm/comm_client_options.h"
#include "comm/sock_comm_client.h"
#include "config/comm_server_entry.h"
#include "protocol/server_identity.h"
#include "support/fake_server/fake_server.h"
#include "support/fake_server/session_script.h"

namespace sondrel::test {

// A fake server that serves every connection with `script`, listening on `address`.
std::unique_ptr<FakeServer> ScriptedServer(SessionScript script = {},
                                           const std::string& address = "127.0.0.1");
class FrameLog;

// A script that answers every request (kind 0) with a final answer of the same type, and records
// every message besides hello, pings and running data in `log` when one is given.
SessionScript FinalAnswers(FrameLog* log = nullptr);
// A script whose running data carries `id`.
SessionScript ScriptWithId(const std::array<uint8_t, 16>& id);

// The server entry that points at `server`.
CommServerEntry EntryFor(const FakeServer& server, int32_t priority, bool enforced = false);

void SetInt(ISockCommClient& client, int32_t code, int32_t value);

// The options of a pool as the tests want it: the client's own defaults where not said.
struct PoolSettings {
  std::vector<CommServerEntry> servers = {};
  int32_t minServerConnections = 1;
  int32_t maxServerConnections = 5;
  int32_t reconnectInterval = 1;
  bool acceptConnectSameServer = false;
  bool detectLatency = false;
  bool connectAsync = false;
  int32_t requestTimeoutMs = 2000;
  int32_t socketTimeoutMs = 2000;
};

// Sets pool mode, the hello record, and the settings; applies them.
void Configure(ISockCommClient& client, const PoolSettings& settings);

// Configures `client` for a pool of `server` alone, with no pass after the first for a test's
// duration, and starts it; returns Start's result.
int32_t StartWithServer(ISockCommClient& client, const FakeServer& server);

// Records the calls of the availability, best-changed and server-gone callbacks.
class CallbackLog {
 public:
  struct Availability {
    bool available;
    int32_t state;
  };

  // Registers every callback with this log as its context (not applied).
  void RegisterWith(ISockCommClient& client);
  // What ServerGone answers from now on.
  void SetGoneAnswer(bool answer);

  std::vector<Availability> availability() const;
  size_t bestChanges() const;
  std::vector<ServerIdentity> goneCalls() const;
  // The server-gone calls answered with true.
  size_t acceptedGoneCalls() const;

 private:
  static void OnAvailability(bool available, int32_t state, void* context);
  static bool OnBestChanged(void* context);
  static bool OnServerGone(void* context, const ServerIdentity* identity);

  mutable std::mutex mutex_;
  std::vector<Availability> availability_;
  size_t bestChanges_ = 0;
  std::vector<ServerIdentity> goneCalls_;
  size_t acceptedGoneCalls_ = 0;
  bool goneAnswer_ = true;
};

// Frames a fake server received, recorded from its script's thread.
class FrameLog {
 public:
  void Record(const WireFrame& frame);
  std::vector<WireFrame> frames() const;
  // Waits until `count` frames were recorded.
  bool WaitForCount(size_t count, int timeoutMs = 5000) const;

 private:
  mutable std::mutex mutex_;
  std::vector<WireFrame> frames_;
};

// The pool's sessions' host texts, in pool order.
std::vector<std::string> PoolHosts(const SockCommClient& client);
// Waits until the pool's sessions are those to `hosts`, in that order. Start returns once the
// first session is in the pool, while the pass goes on with the others.
bool WaitForPool(const SockCommClient& client, const std::vector<std::string>& hosts,
                 int timeoutMs = 5000);

}  // namespace sondrel::test
