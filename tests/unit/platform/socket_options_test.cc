#include "platform/socket_options.h"

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

namespace sondrel::platform {
namespace {

TEST(SocketOptionsTest, TimeoutsAreSetInMilliseconds) {
  boost::asio::io_context io;
  boost::asio::ip::tcp::socket socket(io, boost::asio::ip::tcp::v4());
  const NativeSocket handle = socket.native_handle();

  EXPECT_EQ(SetSocketTimeout(handle, SocketTimeout::Receive, 1500), 0);
  EXPECT_EQ(SetSocketTimeout(handle, SocketTimeout::Send, 2000), 0);
  EXPECT_EQ(GetSocketTimeout(handle, SocketTimeout::Receive), 1500u);
  EXPECT_EQ(GetSocketTimeout(handle, SocketTimeout::Send), 2000u);

  EXPECT_EQ(SetSocketTimeout(handle, SocketTimeout::Receive, 0), 0);
  EXPECT_EQ(GetSocketTimeout(handle, SocketTimeout::Receive), 0u);
}

TEST(SocketOptionsTest, AClosedSocketReportsTheSystemError) {
  boost::asio::io_context io;
  boost::asio::ip::tcp::socket socket(io, boost::asio::ip::tcp::v4());
  const NativeSocket handle = socket.native_handle();
  socket.close();
  EXPECT_NE(SetSocketTimeout(handle, SocketTimeout::Send, 100), 0);
  EXPECT_EQ(GetSocketTimeout(handle, SocketTimeout::Send), std::nullopt);
}

}  // namespace
}  // namespace sondrel::platform
