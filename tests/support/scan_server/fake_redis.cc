#include "support/scan_server/fake_redis.h"

#include <array>
#include <boost/asio/write.hpp>
#include <chrono>
#include <string>

namespace sondrel::test {
namespace {

using Clock = std::chrono::steady_clock;
// How long one misbehaving answer goes on at most.
constexpr auto kLongestAnswer = std::chrono::seconds(2);

}  // namespace

FakeRedis::FakeRedis(Mode mode)
    : mode_(mode), acceptor_(io_, {boost::asio::ip::make_address("127.0.0.1"), 0}) {
  thread_ = std::thread([this] { Serve(); });
}

FakeRedis::~FakeRedis() {
  stop_ = true;
  // A blocked accept does not see the acceptor closed: a connection of our own wakes it.
  boost::system::error_code ignored;
  boost::asio::io_context io;
  boost::asio::ip::tcp::socket wake(io);
  wake.connect(acceptor_.local_endpoint(), ignored);
  thread_.join();
  acceptor_.close(ignored);
}

void FakeRedis::Serve() {
  while (!stop_) {
    boost::asio::ip::tcp::socket socket(io_);
    boost::system::error_code error;
    acceptor_.accept(socket, error);
    if (error || stop_) {
      return;
    }
    std::array<char, 512> request;
    socket.read_some(boost::asio::buffer(request), error);
    Answer(socket);
  }
}

void FakeRedis::Answer(boost::asio::ip::tcp::socket& socket) {
  boost::system::error_code error;
  const auto send = [&](const std::string& bytes) {
    boost::asio::write(socket, boost::asio::buffer(bytes), error);
  };
  const auto until = Clock::now() + kLongestAnswer;
  const std::string chunk(64 * 1024, 'x');
  switch (mode_) {
    case Mode::Garbage:
      send("this is not redis\r\n");
      break;
    case Mode::TwoAnswers:
      send("+OK\r\n+OK\r\n");
      break;
    case Mode::ErrorReply:
      send("-ERR unknown command\r\n");
      break;
    case Mode::HugeArray:
      send("*2147483647\r\n:1\r\n");
      break;
    case Mode::Silent:
      while (!stop_ && Clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      break;
    case Mode::Trickle:
      send("$60\r\n");
      while (!error && !stop_ && Clock::now() < until) {
        send("x");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      break;
    case Mode::Flood:
      send("$100000000\r\n");
      while (!error && !stop_ && Clock::now() < until) {
        send(chunk);
      }
      break;
    case Mode::EndlessLine:
      send("+");
      while (!error && !stop_ && Clock::now() < until) {
        send(chunk);
      }
      break;
  }
}

}  // namespace sondrel::test
