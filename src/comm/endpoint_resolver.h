// Name resolution for connection set-up: a host text and a port text become the ordered list of
// TCP endpoints to try. Sessions resolve through a Resolver, which tests may replace.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/system/error_code.hpp>
#include <functional>
#include <string>
#include <vector>

namespace sondrel {

using EndpointList = std::vector<boost::asio::ip::tcp::endpoint>;

// Fills `endpoints` (front to back: the order to try) and returns no error, or returns the error.
using Resolver = std::function<boost::system::error_code(
    const std::string& host, const std::string& port, EndpointList& endpoints)>;

// One blocking query: IPv4 and IPv6 stream endpoints for TCP, only of the address families this
// machine has configured addresses for.
boost::system::error_code ResolveTcp(boost::asio::io_context& io, const std::string& host,
                                     const std::string& port, EndpointList& endpoints);

}  // namespace sondrel
