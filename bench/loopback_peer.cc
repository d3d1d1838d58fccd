#include "loopback_peer.h"

#include <array>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <vector>

namespace sondrel::bench {

LoopbackPeer::LoopbackPeer(Mode mode)
    : mode_(mode),
      acceptor_(io_,
                boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address_v4("127.0.0.1"), 0)),
      thread_([this] { Serve(); }) {}

LoopbackPeer::~LoopbackPeer() {
  thread_.join();
}

void LoopbackPeer::WaitForReceived(uint64_t bytes) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return received_ >= bytes; });
}

void LoopbackPeer::Serve() {
  boost::asio::ip::tcp::socket socket(io_);
  acceptor_.accept(socket);
  socket.set_option(boost::asio::ip::tcp::no_delay(true));
  std::vector<uint8_t> frame;
  boost::system::error_code error;
  while (true) {
    frame.resize(20);
    if (boost::asio::read(socket, boost::asio::buffer(frame), error) != 20) {
      return;
    }
    const uint32_t bodyLength =
        static_cast<uint32_t>(frame[0]) | static_cast<uint32_t>(frame[1]) << 8 |
        static_cast<uint32_t>(frame[2]) << 16 | static_cast<uint32_t>(frame[3]) << 24;
    frame.resize(20 + size_t{bodyLength});
    if (boost::asio::read(socket, boost::asio::buffer(frame.data() + 20, bodyLength), error) !=
        bodyLength) {
      return;
    }
    if (mode_ == Mode::Echo &&
        boost::asio::write(socket, boost::asio::buffer(frame), error) != frame.size()) {
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      received_ += frame.size();
    }
    changed_.notify_all();
  }
}

}  // namespace sondrel::bench
