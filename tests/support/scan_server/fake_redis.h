// A peer on loopback that takes the place of Redis and misbehaves: the first command on each
// connection is answered with bytes written by hand, always the same way, and the connection is
// closed after; one connection at a time.
#pragma once

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <cstdint>
#include <thread>

namespace sondrel::test {

class FakeRedis {
 public:
  enum class Mode {
    Garbage,      // a line that is not Redis's protocol
    Silent,       // nothing at all
    Trickle,      // a bulk string, one byte every 20 ms
    Flood,        // a bulk string of 100 MB, as fast as it is taken
    EndlessLine,  // a status line that never ends
    TwoAnswers,   // two answers to one command
    ErrorReply,   // an error
    HugeArray,    // an array of 2^31-1 elements
  };

  explicit FakeRedis(Mode mode);
  ~FakeRedis();
  FakeRedis(const FakeRedis&) = delete;
  FakeRedis& operator=(const FakeRedis&) = delete;

  uint16_t port() const { return acceptor_.local_endpoint().port(); }
  std::string url() const { return "redis://127.0.0.1:" + std::to_string(port()); }

 private:
  void Serve();
  void Answer(boost::asio::ip::tcp::socket& socket);

  const Mode mode_;
  std::atomic<bool> stop_{false};
  boost::asio::io_context io_;
  boost::asio::ip::tcp::acceptor acceptor_;
  std::thread thread_;
};

}  // namespace sondrel::test
