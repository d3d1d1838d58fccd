// A fake scan server that really scans: for every scan request it reads the whole file through
// the client, reports a detection when the file contains "EICAR" (verdict 0x20, threat
// "EICAR-Test") and a clean verdict (1) otherwise, then gives its final answer; for a
// disinfection (an action other than 0) it reads the file and writes "CLEAN" over its first
// 5 bytes before answering. Its frames are built from the protocol's tables like every fake
// server frame.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/fake_server/fake_server.h"
#include "support/fake_server/wire_frame.h"

namespace sondrel::test {

struct ScanningServerOptions {
  // Reports itself overloaded in its hello answer and its ping echoes.
  bool overloaded = false;
};

class ScanningServer {
 public:
  explicit ScanningServer(ScanningServerOptions options = {});

  uint16_t port() const { return server_.port(); }
  // The scan and disinfection requests received so far.
  size_t requests() const { return requests_.load(); }

 private:
  // One connection's conversation state.
  struct Conversation {
    WireFrame request;
    uint8_t action = 0;
    std::vector<uint8_t> file;
  };

  static bool OnMessage(Conversation& conversation, FakeConnection& connection,
                        const WireFrame& frame);

  // Before the server, whose scripts count into it until the server has joined them.
  std::atomic<size_t> requests_{0};
  FakeServer server_;
};

}  // namespace sondrel::test
