// The status socket as any local program can use it: the answer to "status", refusals for every
// other request however long, peers that say nothing or too many at once, the owner-only socket
// file, and what is already at its path.
#include "status_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "logging/logger_registry.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace sondrel::kalvix {
namespace {

namespace asio = boost::asio;
namespace fs = std::filesystem;
using Local = asio::local::stream_protocol;
using namespace std::chrono_literals;

class StatusServerTest : public testing::Test {
 protected:
  StatusServerTest()
      : server_(GetLogger("qx.sondrel.kalvix"),
                [this] {
                  ++answers_;
                  return std::string("{\"clients\":[]}");
                },
                {.maxRequestBytes = 64, .timeout = 300ms, .maxConnections = 2}) {}

  std::string path() const { return (directory_.path() / "status.sock").string(); }

  Local::socket Connect() {
    Local::socket socket(io_);
    socket.connect(Local::endpoint(path()));
    return socket;
  }

  // Sends `request` (the write may be cut short when the server has answered and stopped
  // reading) and reads the answer to its end.
  static std::string Exchange(Local::socket& socket, const std::string& request) {
    boost::system::error_code error;
    asio::write(socket, asio::buffer(request), error);
    socket.shutdown(Local::socket::shutdown_send, error);
    return ReadAll(socket);
  }

  static std::string ReadAll(Local::socket& socket) {
    std::string answer;
    boost::system::error_code error;
    asio::read(socket, asio::dynamic_buffer(answer), error);
    return answer;
  }

  test::TempDir directory_;
  std::atomic<int> answers_{0};
  asio::io_context io_;
  StatusServer server_;
};

TEST_F(StatusServerTest, StatusIsAnsweredAndEverythingElseRefused) {
  ASSERT_TRUE(server_.Start(path()));
  EXPECT_EQ(fs::status(path()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  struct Case {
    std::string request;
    std::string answer;
  };
  const std::vector<Case> cases = {
      {"status\n", "{\"clients\":[]}\n"},
      {"status\r\n", "{\"clients\":[]}\n"},
      {"status", "{\"clients\":[]}\n"},  // ended by closing the sending side
      {"STATUS\n", "{\"error\":\"unknown request\"}\n"},
      {"\n", "{\"error\":\"unknown request\"}\n"},
      {std::string("sta\0tus\n", 8), "{\"error\":\"unknown request\"}\n"},
      {std::string(65, 'x'), "{\"error\":\"request too long\"}\n"},
      {std::string(4 * 1024 * 1024, 's'), "{\"error\":\"request too long\"}\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request.substr(0, 16));
    Local::socket socket = Connect();
    EXPECT_EQ(Exchange(socket, c.request), c.answer);
  }
  EXPECT_EQ(answers_, 3);
}

TEST_F(StatusServerTest, SilentPeersAreDroppedAndDoNotHoldUpOthers) {
  ASSERT_TRUE(server_.Start(path()));
  Local::socket silent = Connect();
  Local::socket alsoSilent = Connect();
  std::this_thread::sleep_for(50ms);
  // Two at once is the limit: a third is closed at once, unanswered.
  Local::socket third = Connect();
  EXPECT_EQ(Exchange(third, "status\n"), "");
  const auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadAll(silent), "");  // closed by the time-out
  EXPECT_LT(std::chrono::steady_clock::now() - began, 2s);
  ReadAll(alsoSilent);
  // The dropped connections are counted out once the server is done with them.
  std::string answer;
  for (int attempt = 0; attempt < 50 && answer.empty(); ++attempt) {
    std::this_thread::sleep_for(10ms);
    Local::socket later = Connect();
    answer = Exchange(later, "status\n");
  }
  EXPECT_EQ(answer, "{\"clients\":[]}\n");
}

TEST_F(StatusServerTest, WhatIsAlreadyAtThePath) {
  // A socket left behind is replaced.
  {
    StatusServer earlier(GetLogger("qx.sondrel.kalvix"), [] { return std::string("old"); }, {});
    ASSERT_TRUE(earlier.Start(path()));
  }
  EXPECT_FALSE(fs::exists(path()));  // removed when it stopped
  { Local::acceptor leftover(io_, Local::endpoint(path())); }
  ASSERT_TRUE(fs::is_socket(path()));
  ASSERT_TRUE(server_.Start(path()));
  Local::socket socket = Connect();
  EXPECT_EQ(Exchange(socket, "status\n"), "{\"clients\":[]}\n");
  server_.Stop();
  EXPECT_FALSE(fs::exists(path()));

  // Any other file is left alone.
  std::ofstream(path()) << "keep me";
  test::LogCapture capture;
  StatusServer refused(GetLogger("qx.sondrel.kalvix"), [] { return std::string(); }, {});
  EXPECT_FALSE(refused.Start(path()));
  EXPECT_EQ(test::ReadFile(path()), "keep me");
  EXPECT_EQ(capture.Count("Kalvix: cannot open the status socket " + path()), 1u);
  StatusServer tooLong(GetLogger("qx.sondrel.kalvix"), [] { return std::string(); }, {});
  EXPECT_FALSE(tooLong.Start((directory_.path() / std::string(200, 'n')).string()));
}

}  // namespace
}  // namespace sondrel::kalvix
