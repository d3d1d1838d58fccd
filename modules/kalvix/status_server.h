// The status socket: a Unix-domain stream socket that only its owner may use. On each connection
// the peer sends one request line and gets one answer line back, then the connection closes:
// "status" is answered with the document, any other line, a line longer than the limit, or
// silence beyond the time-out is refused. Connections are served on a thread of the server's
// own, one at a time per step and a bounded number at once, so no peer can hold up the host.
#pragma once

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "logging/logger.h"

namespace sondrel::kalvix {

class StatusServer {
 public:
  struct Limits {
    size_t maxRequestBytes = 256;
    std::chrono::milliseconds timeout{2000};
    size_t maxConnections = 16;
  };
  // The status document; called on the server's thread.
  using Answer = std::function<std::string()>;

  StatusServer(LoggerPtr logger, Answer answer, Limits limits);
  StatusServer(const StatusServer&) = delete;
  StatusServer& operator=(const StatusServer&) = delete;
  ~StatusServer();

  // Makes the socket at `path` (a socket left there before is replaced; any other file is not)
  // and serves it. False, after one log line, when that cannot be done.
  bool Start(const std::string& path);
  // Closes the socket, ends the thread and removes the socket file.
  void Stop();

 private:
  class Connection;

  void Accept();

  // First, so that the connections still pending when it goes release their sockets before it.
  boost::asio::io_context io_;
  boost::asio::local::stream_protocol::acceptor acceptor_;
  const LoggerPtr logger_;
  const Answer answer_;
  const Limits limits_;
  const std::shared_ptr<std::atomic<size_t>> open_ = std::make_shared<std::atomic<size_t>>(0);
  std::string path_;
  std::thread thread_;
};

}  // namespace sondrel::kalvix
