// The load and health of the server behind a session, as the session last learnt it, with the
// number of consecutive updates that left it unchanged.
#pragma once

#include <atomic>
#include <cstdint>

#include "protocol/load_flags.h"

namespace sondrel {

enum ServerState : int32_t {
  Server_Normal = 0,
  Server_Underloaded = 1,
  Server_Overloaded = 2,
  Server_Down = 3,
  // A new session that has not connected yet.
  Server_Unknown = 4,
  // Final: the server left the configuration.
  Server_Retired = 5,
};

struct ServerStateValue {
  int32_t state = Server_Unknown;
  int32_t count = 0;

  friend bool operator==(const ServerStateValue&, const ServerStateValue&) = default;
};

// One update: Server_Retired never changes; a new state starts its count at 1; the same state
// again adds 1 to the count only when the update counts.
ServerStateValue NextServerState(ServerStateValue current, int32_t state, bool counting);

// The load flags a server reports in `serverStatus`, applied from the lowest bit up so that the
// last set bit wins.
struct LoadFlag {
  uint32_t bit;
  int32_t state;
};
inline constexpr LoadFlag kLoadFlags[] = {
    {load_flags::kUnderloaded, Server_Underloaded},
    {load_flags::kNormal, Server_Normal},
    {load_flags::kOverloaded, Server_Overloaded},
    {load_flags::kNormalCounted, Server_Normal},
};

// The first load state of a synchronously connected session, from its hello answer's
// serverStatus.
int32_t HelloLoadState(uint32_t serverStatus);

// The state and its count as one value, updated by any thread.
class ServerStateCell {
 public:
  ServerStateValue Load() const { return Unpack(packed_.load()); }
  void Set(int32_t state, bool counting);

 private:
  static uint64_t Pack(ServerStateValue value);
  static ServerStateValue Unpack(uint64_t packed);

  std::atomic<uint64_t> packed_{Pack(ServerStateValue{})};
};

}  // namespace sondrel
