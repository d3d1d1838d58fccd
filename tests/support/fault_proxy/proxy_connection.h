// One connection through a fault proxy: the accepted client socket, the socket to the server
// behind the proxy, and a pump per direction that reads a chunk, holds it as the proxy's fault
// plan says, and writes it on. Runs only on the proxy's I/O thread; every handler keeps the
// connection alive.
#pragma once

#include <array>
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "support/fault_proxy/fault_plan.h"

namespace sondrel::test {

class ProxyConnection : public std::enable_shared_from_this<ProxyConnection> {
 public:
  // `plan` and `cuts` belong to the proxy, which outlives its I/O thread's handlers.
  ProxyConnection(boost::asio::ip::tcp::socket client, const FaultPlan& plan,
                  std::atomic<uint64_t>& cuts);

  // Connects to the server and starts both pumps; closes the client when the server is not there.
  void Start(const boost::asio::ip::tcp::endpoint& server);
  // The next chunk in either direction is passed on only in part, then both sockets close.
  void ArmCut() { cutArmed_ = true; }
  void DisarmCut() { cutArmed_ = false; }
  // Makes held chunks look at the plan again (after it changed).
  void Wake();
  void Close();
  bool closed() const { return closed_; }

 private:
  struct Pump {
    Pump(boost::asio::ip::tcp::socket& from, boost::asio::ip::tcp::socket& to);
    boost::asio::ip::tcp::socket& from;
    boost::asio::ip::tcp::socket& to;
    boost::asio::steady_timer hold;
    std::array<uint8_t, 16384> buffer{};
    size_t length = 0;
    FaultPlan::Clock::time_point arrived{};
    bool holding = false;
  };

  void read(Pump& pump);
  void on_read(Pump& pump, size_t length);
  void release(Pump& pump);
  void write(Pump& pump, size_t length, bool closeAfter);

  boost::asio::ip::tcp::socket client_;
  boost::asio::ip::tcp::socket server_;
  Pump toServer_;
  Pump toClient_;
  const FaultPlan& plan_;
  std::atomic<uint64_t>& cuts_;
  bool cutArmed_ = false;
  bool closed_ = false;
};

}  // namespace sondrel::test
