#include "platform/socket_options.h"

#include <gtest/gtest.h>

#include <array>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <thread>

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

TEST(SocketOptionsTest, ShutdownEndsACallBlockedInAnotherThread) {
  boost::asio::io_context io;
  boost::asio::ip::tcp::acceptor acceptor(
      io, boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address_v4("127.0.0.1"), 0));
  boost::asio::ip::tcp::socket client(io);
  client.connect(acceptor.local_endpoint());
  boost::asio::ip::tcp::socket server = acceptor.accept();

  // The peer never sends: only the shutdown can end this read.
  boost::system::error_code readError;
  std::thread reader([&] {
    std::array<char, 4> buffer{};
    boost::asio::read(client, boost::asio::buffer(buffer), readError);
  });
  EXPECT_EQ(ShutdownSocket(client.native_handle()), 0);
  reader.join();
  EXPECT_TRUE(readError);
}

TEST(SocketOptionsTest, ShutdownOfASocketNeverConnectedReportsTheSystemError) {
  boost::asio::io_context io;
  boost::asio::ip::tcp::socket socket(io, boost::asio::ip::tcp::v4());
  EXPECT_NE(ShutdownSocket(socket.native_handle()), 0);
}

}  // namespace
}  // namespace sondrel::platform
