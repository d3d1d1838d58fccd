// One accepted client connection, plain or TLS: a strand of its own, a frame reader with bounds
// and time-outs, and a bounded write queue. It hands every received record to its
// SessionHandler and writes what the session sends.
//
// Closed: a frame with another communication version or lengths out of bounds, a body that
// cannot be decoded, nothing received for --idle-timeout, a frame begun and not finished within
// --frame-timeout, a write not taken within --frame-timeout, more than --write-queue bytes
// waiting for a client that does not read, and whatever the session refuses.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <functional>
#include <memory>
#include <string>

#include "server/message_sink.h"
#include "server/server_context.h"

namespace sondrel::server {

class SessionHandler;

class Connection : public MessageSink {
 public:
  // Told when the connection has closed, once.
  using ClosedListener = std::function<void(Connection*)>;

  virtual void Start() = 0;
  // Closes at once; safe from any thread.
  virtual void Close(const std::string& reason) = 0;
  // The load flags changed; safe from any thread.
  virtual void AnnounceLoad() = 0;
  virtual const std::string& peer() const = 0;
};

std::shared_ptr<Connection> MakePlainConnection(boost::asio::ip::tcp::socket socket,
                                                ServerContext& context,
                                                Connection::ClosedListener onClosed);
std::shared_ptr<Connection> MakeTlsConnection(boost::asio::ip::tcp::socket socket,
                                              boost::asio::ssl::context& tls,
                                              ServerContext& context,
                                              Connection::ClosedListener onClosed);

}  // namespace sondrel::server
