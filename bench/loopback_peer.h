// The far end of the comm benchmarks: a loopback TCP peer on a thread of its own that takes one
// connection and either swallows every frame it receives, echoes it back, or answers it as a scan
// server would. Both the library's connection and the raw baseline talk to the same peer.
#pragma once

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace sondrel::bench {

class LoopbackPeer {
 public:
  // Answer: the hello is accepted, the request for running-server data answered, a ping echoed,
  // every request (kind 0) echoed back as its final answer (kind 1) and anything else swallowed.
  enum class Mode { Sink, Echo, Answer };

  explicit LoopbackPeer(Mode mode);
  // Waits for the connection to end; the client closes it first.
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  boost::asio::ip::tcp::endpoint endpoint() const { return acceptor_.local_endpoint(); }
  // Waits until the peer has received `bytes` bytes in all.
  void WaitForReceived(uint64_t bytes);
  uint64_t received();

 private:
  void Serve();
  // The frame to send back for `frame` in Answer mode; empty for none.
  static std::vector<uint8_t> AnswerTo(const std::vector<uint8_t>& frame);

  const Mode mode_;
  boost::asio::io_context io_;
  boost::asio::ip::tcp::acceptor acceptor_;
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t received_ = 0;
  std::thread thread_;
};

}  // namespace sondrel::bench
