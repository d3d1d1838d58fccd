#include "comm/server_state.h"

#include <limits>

namespace sondrel {

ServerStateValue NextServerState(ServerStateValue current, int32_t state, bool counting) {
  if (current.state == Server_Retired) {
    return current;
  }
  if (state != current.state) {
    return {state, 1};
  }
  // A server that repeats itself for ever must not make the count wrap.
  if (counting && current.count < std::numeric_limits<int32_t>::max()) {
    ++current.count;
  }
  return current;
}

int32_t HelloLoadState(uint32_t serverStatus) {
  if ((serverStatus & 0x1) != 0) {
    return Server_Underloaded;
  }
  if ((serverStatus & 0x2) == 0) {
    return (serverStatus & 0x4) != 0 ? Server_Overloaded : Server_Normal;
  }
  if ((serverStatus & 0x8) != 0) {
    return Server_Overloaded;
  }
  return (serverStatus & 0x10) != 0 ? Server_Underloaded : Server_Normal;
}

void ServerStateCell::Set(int32_t state, bool counting) {
  uint64_t expected = packed_.load();
  while (!packed_.compare_exchange_weak(expected,
                                        Pack(NextServerState(Unpack(expected), state, counting)))) {
  }
}

uint64_t ServerStateCell::Pack(ServerStateValue value) {
  return static_cast<uint64_t>(static_cast<uint32_t>(value.count)) << 32 |
         static_cast<uint32_t>(value.state);
}

ServerStateValue ServerStateCell::Unpack(uint64_t packed) {
  return {static_cast<int32_t>(static_cast<uint32_t>(packed)),
          static_cast<int32_t>(static_cast<uint32_t>(packed >> 32))};
}

}  // namespace sondrel
