#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <string>

#include "server/server_options.h"

namespace sondrel::server {

// Opens, binds and listens on `address` with the address reusable. On failure `error` says what
// failed: "cannot listen<what> on ADDRESS: reason", or that the host is not an IP address.
bool OpenListeningSocket(boost::asio::ip::tcp::acceptor& acceptor, const ListenAddress& address,
                         const std::string& what, std::string& error);

// The address an acceptor is bound to (the port chosen when 0 was asked for).
ListenAddress BoundAddress(const boost::asio::ip::tcp::acceptor& acceptor);

}  // namespace sondrel::server
