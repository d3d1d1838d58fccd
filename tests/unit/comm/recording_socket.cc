#include "unit/comm/recording_socket.h"

#include <boost/asio/post.hpp>
#include <chrono>
#include <sstream>
#include <thread>

namespace sondrel::test {

RecordingSocket::RecordingSocket(boost::asio::io_context& io)
    : CommSocketBase(io, "qx.sondrel.comm") {}

bool RecordingSocket::Connect(const boost::asio::ip::tcp::endpoint& server,
                              boost::asio::ssl::context* tls) {
  boost::system::error_code error;
  socket().connect(server, error);
  if (error) {
    return false;
  }
  if (tls == nullptr) {
    return true;
  }
  attach_tls(true, tls);
  tlsStream()->handshake(boost::asio::ssl::stream_base::client, error);
  return !error;
}

void RecordingSocket::StartReading() {
  auto self = std::static_pointer_cast<RecordingSocket>(shared_from_this());
  if (useTls()) {
    boost::asio::post(strand(), [self] { self->do_read_header(); });
  } else {
    boost::asio::post(ioService(), [self] { self->do_read_header(); });
  }
}

void RecordingSocket::PostClose() {
  auto self = shared_from_this();
  if (useTls()) {
    boost::asio::post(strand(), [self] { self->close(); });
  } else {
    boost::asio::post(ioService(), [self] { self->close(); });
  }
}

void RecordingSocket::process_message(CommMessagePtr message) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(std::move(message));
  }
  changed_.notify_all();
}

void RecordingSocket::on_read_error(const boost::system::error_code& error) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    readErrors_.push_back(error);
  }
  changed_.notify_all();
}

void RecordingSocket::on_write_error(const boost::system::error_code& error) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    writeErrors_.push_back(error);
  }
  changed_.notify_all();
}

template <typename Predicate>
bool RecordingSocket::WaitUntil(int timeoutMs, Predicate predicate) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), predicate);
}

bool RecordingSocket::WaitForMessages(size_t count, int timeoutMs) {
  return WaitUntil(timeoutMs, [&] { return messages_.size() >= count; });
}

bool RecordingSocket::WaitForReadErrors(size_t count, int timeoutMs) {
  return WaitUntil(timeoutMs, [&] { return readErrors_.size() >= count; });
}

bool RecordingSocket::WaitForWriteErrors(size_t count, int timeoutMs) {
  return WaitUntil(timeoutMs, [&] { return writeErrors_.size() >= count; });
}

bool RecordingSocket::WaitForBytesSent(uint64_t bytes, int timeoutMs) {
  // The counter is not signalled; it is polled.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (bytesSent() < bytes) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::vector<CommMessagePtr> RecordingSocket::messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

std::vector<boost::system::error_code> RecordingSocket::readErrors() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return readErrors_;
}

std::vector<boost::system::error_code> RecordingSocket::writeErrors() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return writeErrors_;
}

std::string RecordingSocket::LoggedAddress() const {
  std::ostringstream text;
  text << static_cast<const void*>(this);
  return text.str();
}

}  // namespace sondrel::test
