// The listening sockets: plain TCP and TLS acceptors that hand every accepted connection over.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <functional>
#include <memory>
#include <string>

#include "server/server_options.h"

namespace sondrel::server {

class Listener : public std::enable_shared_from_this<Listener> {
 public:
  using Accepted = std::function<void(boost::asio::ip::tcp::socket socket, bool tls)>;

  Listener(boost::asio::io_context& io, bool tls, Accepted accepted);

  // Binds and listens; false with the reason in `error`.
  bool Open(const ListenAddress& address, std::string& error);
  // The address bound (the port chosen when 0 was asked for).
  ListenAddress bound() const;
  void Start();
  void Stop();

 private:
  void Accept();

  boost::asio::io_context& io_;
  const bool tls_;
  const Accepted accepted_;
  // The acceptor's handlers and Stop run one at a time on it.
  boost::asio::strand<boost::asio::io_context::executor_type> strand_;
  boost::asio::ip::tcp::acceptor acceptor_;
  boost::asio::steady_timer retry_;
};

}  // namespace sondrel::server
