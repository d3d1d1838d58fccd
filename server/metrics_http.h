// The metrics endpoint: HTTP on its own listener, GET /metrics answered with the Prometheus text
// of the moment; every other path is 404. One request per connection.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/strand.hpp>
#include <functional>
#include <memory>
#include <string>

#include "server/server_options.h"

namespace sondrel::server {

class MetricsHttp : public std::enable_shared_from_this<MetricsHttp> {
 public:
  using Render = std::function<std::string()>;

  MetricsHttp(boost::asio::io_context& io, Render render);

  bool Open(const ListenAddress& address, std::string& error);
  ListenAddress bound() const;
  void Start();
  void Stop();

 private:
  void Accept();

  boost::asio::io_context& io_;
  const Render render_;
  boost::asio::strand<boost::asio::io_context::executor_type> strand_;
  boost::asio::ip::tcp::acceptor acceptor_;
};

}  // namespace sondrel::server
