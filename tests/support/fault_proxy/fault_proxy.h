// A small TCP proxy in front of a scan server, for soak tests: it accepts on an address of its
// own, connects each client to the server it currently points at, and passes the bytes on, unless
// told to cut a connection in the middle of a chunk, delay every chunk or stall all traffic for a
// while. It knows nothing of the protocol. All work runs on one I/O thread of its own; the
// operations below only post to it.
//
//   FaultProxy proxy("127.0.0.2", port);
//   proxy.SetServer(serverPort);
//   proxy.Stall(std::chrono::seconds(3));
#pragma once

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/fault_proxy/fault_plan.h"

namespace sondrel::test {

class ProxyConnection;

class FaultProxy {
 public:
  // Listens on `address`:`port` (0: an ephemeral port); throws when it cannot.
  FaultProxy(const std::string& address, uint16_t port);
  ~FaultProxy();
  FaultProxy(const FaultProxy&) = delete;
  FaultProxy& operator=(const FaultProxy&) = delete;

  uint16_t port() const { return port_; }
  // New connections go to this port of the proxy's own address.
  void SetServer(uint16_t port);
  // Cuts the open connection `pick` (modulo their number) at its next chunk; nothing when none is
  // open.
  void Cut(uint32_t pick);
  void Delay(std::chrono::milliseconds perChunk, std::chrono::milliseconds period);
  void Stall(std::chrono::milliseconds period);
  // Ends every delay and stall at once and disarms cuts not made yet.
  void Heal();

  // Connections cut in the middle so far.
  uint64_t cuts() const { return cuts_.load(); }
  uint64_t accepted() const { return accepted_.load(); }

 private:
  void accept();
  void each_open(void (*action)(ProxyConnection&));

  boost::asio::io_context io_;
  boost::asio::ip::tcp::acceptor acceptor_;
  boost::asio::ip::address address_;
  uint16_t port_ = 0;
  uint16_t serverPort_ = 0;
  FaultPlan plan_;
  std::atomic<uint64_t> cuts_{0};
  std::atomic<uint64_t> accepted_{0};
  std::vector<std::weak_ptr<ProxyConnection>> connections_;
  std::thread thread_;
};

}  // namespace sondrel::test
