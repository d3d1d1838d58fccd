#include "server/listening_socket.h"

namespace sondrel::server {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

bool OpenListeningSocket(tcp::acceptor& acceptor, const ListenAddress& address,
                         const std::string& what, std::string& error) {
  boost::system::error_code code;
  const asio::ip::address ip = asio::ip::make_address(address.host, code);
  if (code) {
    error = "not an IP address: " + address.host;
    return false;
  }
  const tcp::endpoint endpoint(ip, address.port);
  acceptor.open(endpoint.protocol(), code);
  if (!code) {
    acceptor.set_option(tcp::acceptor::reuse_address(true), code);
  }
  if (!code) {
    acceptor.bind(endpoint, code);
  }
  if (!code) {
    acceptor.listen(asio::socket_base::max_listen_connections, code);
  }
  if (code) {
    error = "cannot listen" + what + " on " + FormatListenAddress(address) + ": " + code.message();
    return false;
  }
  return true;
}

ListenAddress BoundAddress(const tcp::acceptor& acceptor) {
  boost::system::error_code code;
  const tcp::endpoint endpoint = acceptor.local_endpoint(code);
  return {endpoint.address().to_string(), endpoint.port()};
}

}  // namespace sondrel::server
