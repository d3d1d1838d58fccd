// One connection to a Redis server for the shared cache, with a deadline on everything it does:
// connecting, and each command with its whole reply. hiredis formats the commands
// and parses the replies; the bytes move through an Asio socket, so that a server that trickles
// or never answers costs at most the deadline, and a reply is bounded in size before hiredis
// holds it.
#pragma once

#include <hiredis/hiredis.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace sondrel::server {

struct RedisAddress {
  std::string host;
  uint16_t port = 6379;
};

struct RedisReplyDeleter {
  void operator()(redisReply* reply) const { freeReplyObject(reply); }
};
using RedisReplyPtr = std::unique_ptr<redisReply, RedisReplyDeleter>;

class RedisConnection {
 public:
  using Clock = std::chrono::steady_clock;

  // The most bytes one reply may take: far more than any entry of ours.
  static constexpr size_t kLongestReply = 64 * 1024;

  // Connected to the first of `endpoints` that takes the connection within `timeout`, or null
  // with the reason in `problem`.
  static std::unique_ptr<RedisConnection> Open(
      const std::vector<boost::asio::ip::tcp::endpoint>& endpoints,
      std::chrono::milliseconds timeout, std::string& problem);
  // The addresses of `address`, resolved with the system's resolver (which may wait); empty with
  // the reason in `problem` when there are none.
  static std::vector<boost::asio::ip::tcp::endpoint> Resolve(const RedisAddress& address,
                                                             std::string& problem);
  ~RedisConnection();
  RedisConnection(const RedisConnection&) = delete;
  RedisConnection& operator=(const RedisConnection&) = delete;

  // Sends one command and reads its reply, all within `timeout`. Null with the reason in
  // `problem` when that fails; the connection is then of no further use.
  RedisReplyPtr Command(const std::vector<std::string>& arguments,
                        std::chrono::milliseconds timeout, std::string& problem);

 private:
  RedisConnection();
  // Runs the operations started by `start` until they complete or `deadline` passes, in which
  // case the socket is closed; false then.
  template <typename Start>
  bool RunUntil(Clock::time_point deadline, Start start);

  boost::asio::io_context io_;
  boost::asio::ip::tcp::socket socket_;
  std::unique_ptr<redisReader, decltype(&redisReaderFree)> reader_;
};

}  // namespace sondrel::server
