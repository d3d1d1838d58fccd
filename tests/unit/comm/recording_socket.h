// A connection for the socket tests: records what the base hands to the derived class (decoded
// messages, read and write errors) and opens the base's internals that a session would use.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/system/error_code.hpp>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "comm/comm_socket_base.h"

namespace sondrel::test {

class RecordingSocket : public CommSocketBase {
 public:
  explicit RecordingSocket(boost::asio::io_context& io);

  // Connects synchronously to `server` (with the TLS handshake when `tls` is given); false on
  // failure.
  bool Connect(const boost::asio::ip::tcp::endpoint& server,
               boost::asio::ssl::context* tls = nullptr);
  // Starts the read loop on the I/O thread (through the strand with TLS), as a session does.
  void StartReading();
  // Runs `close` on the I/O thread, as a session's Stop does.
  void PostClose();

  void process_message(CommMessagePtr message) override;
  void on_read_error(const boost::system::error_code& error) override;
  void on_write_error(const boost::system::error_code& error) override;

  bool WaitForMessages(size_t count, int timeoutMs = 5000);
  bool WaitForReadErrors(size_t count, int timeoutMs = 5000);
  bool WaitForWriteErrors(size_t count, int timeoutMs = 5000);
  // Waits until the asynchronous path has written `bytes` bytes in all.
  bool WaitForBytesSent(uint64_t bytes, int timeoutMs = 5000);
  std::vector<CommMessagePtr> messages() const;
  std::vector<boost::system::error_code> readErrors() const;
  std::vector<boost::system::error_code> writeErrors() const;
  // The connection's address as its log lines print it.
  std::string LoggedAddress() const;

  using CommSocketBase::socket;
  using CommSocketBase::tlsStream;

 private:
  template <typename Predicate>
  bool WaitUntil(int timeoutMs, Predicate predicate);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<CommMessagePtr> messages_;
  std::vector<boost::system::error_code> readErrors_;
  std::vector<boost::system::error_code> writeErrors_;
};

}  // namespace sondrel::test
