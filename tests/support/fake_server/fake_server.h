// A scripted scan server for tests: listens on 127.0.0.1 (or another loopback address) with an
// ephemeral port and, for every accepted connection, runs the test's script on a thread of its
// own. The script drives the connection with blocking helpers (read a frame, send a frame or raw
// bytes, close, sleep), each bounded by a time-out, so a test that goes wrong ends instead of
// hanging.
//
//   FakeServer server([](FakeConnection& connection) {
//     auto hello = connection.ReadFrame();
//     connection.Send(PlainFrame(0xF0000001, 1, {0, 0, 0, 0}));
//   });
//   ... connect to server.endpoint() ...
#pragma once

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "support/fake_server/wire_frame.h"

namespace sondrel::test {

inline constexpr int kFakeServerTimeoutMs = 5000;

// The server's end of one accepted connection. Every helper runs on the script's thread.
class FakeConnection {
 public:
  FakeConnection(boost::asio::io_context& io, boost::asio::ip::tcp::socket socket,
                 boost::asio::ssl::context* tls, const std::atomic<bool>& stopping);
  FakeConnection(const FakeConnection&) = delete;
  FakeConnection& operator=(const FakeConnection&) = delete;
  ~FakeConnection();

  // The TLS handshake (server side); true at once without TLS.
  bool Handshake(int timeoutMs = kFakeServerTimeoutMs);
  // Reads one whole frame (bodies above 256 MiB are refused); nothing on time-out, end of stream
  // or error.
  std::optional<WireFrame> ReadFrame(int timeoutMs = kFakeServerTimeoutMs);
  bool Send(const WireFrame& frame, int timeoutMs = kFakeServerTimeoutMs);
  bool SendRaw(std::span<const uint8_t> bytes, int timeoutMs = kFakeServerTimeoutMs);
  // Closes the TCP connection at once (without a TLS close_notify).
  void Close();
  // Waits until the client ends the connection, discarding whatever it still sends; false on
  // time-out.
  bool WaitForClose(int timeoutMs = kFakeServerTimeoutMs);
  void Sleep(int ms);

 private:
  using Completion = std::function<void(const boost::system::error_code&, size_t)>;
  // Starts one asynchronous operation and runs it to completion or time-out.
  boost::system::error_code Run(const std::function<void(Completion)>& start, int timeoutMs,
                                size_t* bytes = nullptr);
  boost::system::error_code ReadExactly(std::span<uint8_t> buffer, int timeoutMs);
  boost::asio::ip::tcp::socket& Socket();

  boost::asio::io_context& io_;
  std::optional<boost::asio::ssl::stream<boost::asio::ip::tcp::socket>> tlsStream_;
  std::optional<boost::asio::ip::tcp::socket> socket_;
  const std::atomic<bool>& stopping_;
};

struct FakeServerOptions {
  // The loopback address to listen on: tests that need servers with different host texts use
  // 127.0.0.2, 127.0.0.3 and so on.
  std::string address = "127.0.0.1";
  bool tls = false;
  // The certificate's subject common name when tls is set.
  std::string certificateCommonName = "sondrel fake server";
};

class FakeServer {
 public:
  using Script = std::function<void(FakeConnection&)>;

  explicit FakeServer(Script script, FakeServerOptions options = {});
  FakeServer(const FakeServer&) = delete;
  FakeServer& operator=(const FakeServer&) = delete;
  // Stops accepting, cuts short the scripts' waits and joins every thread.
  ~FakeServer();

  boost::asio::ip::tcp::endpoint endpoint() const;
  uint16_t port() const { return endpoint().port(); }
  // With TLS: the SHA-256 of the certificate's public key in hex, as pins are written.
  std::string certificatePin() const;
  // Waits until `count` connections have been accepted.
  bool WaitForConnections(size_t count, int timeoutMs = kFakeServerTimeoutMs);
  // Waits until the scripts of `count` connections have returned.
  bool WaitForScripts(size_t count = 1, int timeoutMs = kFakeServerTimeoutMs);

 private:
  // One accepted connection: its io_context, the thread that runs its script, and whether the
  // script has returned. Only the accepting thread and the destructor touch the list.
  struct Worker {
    boost::asio::io_context io;
    std::thread thread;
    std::atomic<bool> done{false};
  };

  void Accept();
  void RunScript(Worker& worker, boost::asio::ip::tcp::socket socket);

  const Script script_;
  const FakeServerOptions options_;
  std::unique_ptr<boost::asio::ssl::context> tlsContext_;
  std::atomic<bool> stopping_{false};
  boost::asio::io_context acceptIo_;
  boost::asio::ip::tcp::acceptor acceptor_;
  std::thread acceptThread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::unique_ptr<Worker>> workers_;
  size_t accepted_ = 0;
  size_t finished_ = 0;
};

}  // namespace sondrel::test
