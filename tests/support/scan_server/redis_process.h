// A private redis-server for one test: on 127.0.0.1 with a port of its own, nothing written to
// disk, stopped with the test. redis-cli, as an independent client, reads and changes its
// entries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/child_process.h"

namespace sondrel::test {

class RedisProcess {
 public:
  // Whether redis-server and redis-cli are installed; tests that need them skip when not.
  static bool Installed();

  // Starts the server on a free port; `ok()` tells whether it answers.
  RedisProcess();

  bool ok() const { return process_.has_value(); }
  uint16_t port() const { return port_; }
  std::string url() const { return "redis://127.0.0.1:" + std::to_string(port_); }

  // Kills the server at once, as a crash would.
  void Kill();
  // Starts it again on the same port, empty.
  bool Restart();
  // What redis-cli prints for `arguments`, its lines joined by newlines.
  std::string Cli(const std::vector<std::string>& arguments) const;

 private:
  bool Launch();

  uint16_t port_ = 0;
  std::optional<platform::ChildProcess> process_;
};

// A loopback port that nothing listens on at the moment.
uint16_t UnusedPort();

}  // namespace sondrel::test
