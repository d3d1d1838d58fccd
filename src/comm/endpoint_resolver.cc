#include "comm/endpoint_resolver.h"

namespace sondrel {

boost::system::error_code ResolveTcp(boost::asio::io_context& io, const std::string& host,
                                     const std::string& port, EndpointList& endpoints) {
  boost::asio::ip::tcp::resolver resolver(io);
  boost::system::error_code error;
  const auto results =
      resolver.resolve(host, port, boost::asio::ip::resolver_base::address_configured, error);
  if (!error) {
    for (const auto& entry : results) {
      endpoints.push_back(entry.endpoint());
    }
  }
  return error;
}

}  // namespace sondrel
