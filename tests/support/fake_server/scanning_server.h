// A fake scan server that really scans: for every scan request it reads the whole file through
// the client, reports a detection when the file contains "EICAR" (verdict 0x20, threat
// "EICAR-Test") and a clean verdict (1) otherwise, then gives its final answer; for a
// disinfection (an action other than 0) it reads the file and writes "CLEAN" over its first
// 5 bytes before answering. Its frames are built from the protocol's tables like every fake
// server frame.
#pragma once

#include <cstdint>
#include <vector>

#include "support/fake_server/fake_server.h"
#include "support/fake_server/wire_frame.h"

namespace sondrel::test {

class ScanningServer {
 public:
  ScanningServer();

  uint16_t port() const { return server_.port(); }

 private:
  // One connection's conversation state.
  struct Conversation {
    WireFrame request;
    uint8_t action = 0;
    std::vector<uint8_t> file;
  };

  static bool OnMessage(Conversation& conversation, FakeConnection& connection,
                        const WireFrame& frame);

  FakeServer server_;
};

}  // namespace sondrel::test
