#include "loopback_peer.h"

#include <algorithm>
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

uint64_t LoopbackPeer::received() {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

namespace {

uint32_t Load32(const std::vector<uint8_t>& bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 |
         static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

void Store32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) {
    bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

// Frame offsets: bodyLength 0; messageType 36, messageKind 40, sendCount 44, payloadLength 48,
// answerTimeoutMs 56, serverStatus 60; payload 64; 4 zero bytes after it.
constexpr size_t kMessageType = 36;
constexpr size_t kMessageKind = 40;
constexpr size_t kSendCount = 44;
constexpr size_t kPayloadLength = 48;
constexpr size_t kAnswerTimeout = 56;
constexpr size_t kPayload = 64;

// The request's routing fields (requestSeq, channelIndex, conversationId) with a new payload.
std::vector<uint8_t> Reply(const std::vector<uint8_t>& request,
                           const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> reply(kPayload + payload.size() + 4, 0);
  std::copy(request.begin() + 20, request.begin() + kMessageKind, reply.begin() + 20);
  Store32(reply, 0, static_cast<uint32_t>(48 + payload.size()));
  Store32(reply, 4, 2);
  Store32(reply, kMessageKind, 1);
  Store32(reply, kPayloadLength, static_cast<uint32_t>(payload.size()));
  std::copy(payload.begin(), payload.end(), reply.begin() + kPayload);
  return reply;
}

}  // namespace

std::vector<uint8_t> LoopbackPeer::AnswerTo(const std::vector<uint8_t>& frame) {
  switch (Load32(frame, kMessageType)) {
    case 0xF0000001:
      return Reply(frame, {0, 0, 0, 0});
    case 0xF0000002:
      return frame;
    case 0xF0000003: {
      std::vector<uint8_t> data(24, 0x5A);
      Store32(data, 0, 24);
      data[20] = 3;
      data[21] = 0;
      data[22] = 1;
      data[23] = 0;
      return Reply(frame, data);
    }
    default:
      break;
  }
  if (Load32(frame, kMessageKind) != 0) {
    return {};
  }
  std::vector<uint8_t> answer = frame;
  Store32(answer, kMessageKind, 1);
  Store32(answer, kSendCount, 0);
  Store32(answer, kAnswerTimeout, 0);
  return answer;
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
    std::vector<uint8_t> answer;
    if (mode_ == Mode::Answer) {
      answer = AnswerTo(frame);
    }
    const std::vector<uint8_t>& reply = mode_ == Mode::Echo ? frame : answer;
    if (!reply.empty() &&
        boost::asio::write(socket, boost::asio::buffer(reply), error) != reply.size()) {
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
