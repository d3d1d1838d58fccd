// sondrel-probe --status against a peer that plays the internal monitor's status socket: the
// table and the JSON of a report, and what the probe says when there is no report to be had.
#include "tools/probe/probe_status.h"

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "support/temp_dir.h"

namespace sondrel::probe {
namespace {

namespace asio = boost::asio;
using Local = asio::local::stream_protocol;
using namespace std::chrono_literals;

constexpr const char* kReport =
    R"({"settingsFile":"/opt/product/Kalvix.json","clients":[{"canScan":true,"canScanRemote":false,)"
    R"("connections":[{"address":"127.0.0.1","port":7081,"tls":false,"priority":1,"enforced":true},)"
    R"({"address":"scan2.example","port":7443,"tls":true,"priority":2,"enforced":false}],)"
    R"("lastAvailabilityEvent":{"time":"2026-12-11T14:09:07.627743Z","canScan":true,)"
    R"("canScanRemote":false},"lastBestSessionEvent":null,"slotPairs":3},)"
    R"({"canScan":false,"canScanRemote":false,"connections":null,"lastAvailabilityEvent":null,)"
    R"("lastBestSessionEvent":null,"slotPairs":0}]})";

// Answers one connection: reads the request line, records it, and sends `answer` (nothing at
// all when `silent`).
class StatusPeer {
 public:
  StatusPeer(std::string path, std::string answer, bool silent = false)
      : acceptor_(io_, Local::endpoint(path)), thread_([this, answer, silent] {
          Local::socket socket(io_);
          acceptor_.accept(socket);
          boost::system::error_code error;
          asio::read_until(socket, asio::dynamic_buffer(request_), '\n', error);
          if (silent) {
            std::this_thread::sleep_for(500ms);
            return;
          }
          asio::write(socket, asio::buffer(answer + "\n"), error);
        }) {}
  ~StatusPeer() { Finish(); }

  // Waits for the peer to be done; the request line it read.
  std::string Finish() {
    if (thread_.joinable()) {
      thread_.join();
    }
    return request_;
  }

 private:
  asio::io_context io_;
  Local::acceptor acceptor_;
  std::string request_;
  std::thread thread_;
};

class ProbeStatusTest : public testing::Test {
 protected:
  std::string path() const { return (directory_.path() / "status.sock").string(); }

  test::TempDir directory_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(ProbeStatusTest, PrintsTheReportAsATable) {
  {
    StatusPeer peer(path(), kReport);
    EXPECT_EQ(RunStatus(path(), false, out_, err_), 0) << err_.str();
  }
  EXPECT_EQ(out_.str(),
            "settings file  /opt/product/Kalvix.json\n"
            "client 1\n"
            "  can scan            yes\n"
            "  can scan remote     no\n"
            "  last availability   2026-12-11T14:09:07.627743Z\n"
            "  last best session   -\n"
            "  slot pairs          3\n"
            "  server                           tls  priority  enforced\n"
            "  127.0.0.1:7081                   no   1         yes\n"
            "  scan2.example:7443               yes  2         no\n"
            "client 2\n"
            "  can scan            no\n"
            "  can scan remote     no\n"
            "  last availability   -\n"
            "  last best session   -\n"
            "  slot pairs          0\n"
            "  connections         unknown (the client has no connection manager)\n");
}

TEST_F(ProbeStatusTest, PrintsTheReportAsItsJsonAndAsksWithOneStatusLine) {
  StatusPeer peer(path(), kReport);
  EXPECT_EQ(RunStatus(path(), true, out_, err_), 0);
  EXPECT_EQ(out_.str(), std::string(kReport) + "\n");
  EXPECT_TRUE(err_.str().empty());
}

TEST_F(ProbeStatusTest, WithoutAReportItSaysWhyAndExitsWith1) {
  EXPECT_EQ(RunStatus(path(), false, out_, err_), 1);
  EXPECT_NE(err_.str().find("sondrel-probe: no status from " + path() + ": "), std::string::npos);
  EXPECT_TRUE(out_.str().empty());

  std::string error;
  {
    StatusPeer refusing(path(), R"({"error":"unknown request"})");
    EXPECT_FALSE(QueryStatus(path(), 2000ms, error));
    EXPECT_EQ(error, R"(the answer is no status document: {"error":"unknown request"})");
    EXPECT_EQ(refusing.Finish(), "status\n");
  }
  std::filesystem::remove(path());
  {
    StatusPeer silent(path(), "", true);
    EXPECT_FALSE(QueryStatus(path(), 200ms, error));
    EXPECT_EQ(error, "no answer within 200 ms");
  }
}

}  // namespace
}  // namespace sondrel::probe
