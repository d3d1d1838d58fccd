// The far end of the comm benchmarks: a loopback TCP peer on a thread of its own that takes one
// connection and either swallows every frame it receives or echoes it back. Both the library's
// connection and the raw baseline talk to the same peer.
#pragma once

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace sondrel::bench {

class LoopbackPeer {
 public:
  enum class Mode { Sink, Echo };

  explicit LoopbackPeer(Mode mode);
  // Waits for the connection to end; the client closes it first.
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  boost::asio::ip::tcp::endpoint endpoint() const { return acceptor_.local_endpoint(); }
  // Waits until the peer has received `bytes` bytes in all.
  void WaitForReceived(uint64_t bytes);

 private:
  void Serve();

  const Mode mode_;
  boost::asio::io_context io_;
  boost::asio::ip::tcp::acceptor acceptor_;
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t received_ = 0;
  std::thread thread_;
};

}  // namespace sondrel::bench
