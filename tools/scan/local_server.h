// The private scan server sondrel-scan starts when it is told of no server and finds no settings:
// a sondrel-server beside the program or on the PATH, listening on an ephemeral loopback port,
// with its default signatures. It stops when this object goes, when the tool is interrupted, and
// when the tool dies.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "platform/child_process.h"

namespace sondrel::scan_tool {

class LocalServer {
 public:
  // Starts the server and waits until it listens; says why on `err` when it cannot.
  static std::unique_ptr<LocalServer> Start(std::ostream& err);
  ~LocalServer();

  uint16_t port() const { return port_; }
  const std::string& program() const { return program_; }

 private:
  LocalServer(platform::ChildProcess process, uint16_t port, std::string program)
      : process_(std::move(process)), port_(port), program_(std::move(program)) {}

  platform::ChildProcess process_;
  uint16_t port_;
  std::string program_;
};

// The sondrel-server program to start: beside this program, else on the PATH; empty when none.
std::string FindServerProgram();

}  // namespace sondrel::scan_tool
