// The three scan servers of the soak, each a real sondrel-server process on a loopback address of
// its own behind a fault proxy. The library is told the proxies' addresses, which share one port
// as the library's server entries do; each server listens on an ephemeral port of the same
// address, a new one after every restart, and its proxy is pointed at it.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/fault_proxy/fault_proxy.h"
#include "support/scan_server/server_process.h"

namespace sondrel::test {

class SoakServers {
 public:
  static constexpr size_t kCount = 3;

  // The servers run `program` with `signatures`; their logs go to `logDirectory`.
  SoakServers(std::string program, std::string signatures, std::filesystem::path logDirectory);

  // The loopback address of server `index` ("127.0.0.1" ...).
  static std::string Address(size_t index);
  uint16_t port() const { return proxies_.front()->port(); }
  FaultProxy& proxy(size_t index) { return *proxies_.at(index); }

  bool running(size_t index) const { return servers_.at(index) != nullptr; }
  size_t runningCount() const;
  // Starts server `index` and points its proxy at it; false (with the log in `error`) when it did
  // not come up.
  bool Start(size_t index, std::string& error);
  // Ends server `index` with `signal` and reaps it. A server asked to stop (SIGTERM) must end
  // with 0, and no server log may hold a sanitizer's report; `problems()` lists what did not.
  void Stop(size_t index, int signal);
  void StopAll(int signal);
  const std::vector<std::string>& problems() const { return problems_; }

  uint64_t restarts() const { return restarts_; }
  // The last lines of every server log, for a failure message.
  std::string LogTails() const;

 private:
  const std::string program_;
  const std::string signatures_;
  const std::filesystem::path logDirectory_;
  std::vector<std::unique_ptr<FaultProxy>> proxies_;
  std::vector<std::unique_ptr<ServerProcess>> servers_;
  std::vector<unsigned> starts_;
  std::vector<std::string> problems_;
  uint64_t restarts_ = 0;
};

}  // namespace sondrel::test
