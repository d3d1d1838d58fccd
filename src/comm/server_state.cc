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
