// The base of every connection to a scan server: owns the TCP socket and, with TLS, the TLS
// stream over it, and moves frames both ways. Writes go through a queue (or block, in
// synchronous mode); reads run as a loop of header and body reads that hands every decoded
// message to the derived class; a synchronous Receive serves connection set-up.
//
// The object is always held by shared_ptr: every asynchronous handler keeps a shared reference,
// so the object outlives its pending operations. All completion handlers run on the one thread
// that runs the io_context given at construction; with TLS they run through `strand`, so that the
// TLS stream is never used by two threads at once.
//
// A derived connection is made with std::make_shared. It implements process_message; it may
// override close (ending with do_close), the two error hooks, and Receive (calling the base's
// first and acting on a result of 0). Once connected it starts the read loop with do_read_header,
// posted through strand() when TLS is attached. attach_tls is called while no I/O is in flight,
// and a TLS stream that has been closed is replaced by a new attach_tls before reconnecting. The
// io_context must be destroyed after the object: a class that owns its io_context keeps it in a
// base class listed before this one.
#pragma once

#include <array>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/ssl/verify_context.hpp>
#include <boost/asio/strand.hpp>
#include <boost/system/error_code.hpp>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string_view>

#include "logging/logger.h"
#include "protocol/comm_message.h"
#include "protocol/frame_decoder.h"
#include "protocol/frame_layout.h"

namespace sondrel {

class CommSocketBase : public std::enable_shared_from_this<CommSocketBase> {
 public:
  using TlsStream = boost::asio::ssl::stream<boost::asio::ip::tcp::socket&>;
  using Strand = boost::asio::strand<boost::asio::io_context::executor_type>;

  // Results of Receive besides 0.
  static constexpr int kReceiveBadFrame = 102;
  static constexpr int kReceiveBadPayload = 103;
  static constexpr int kReceiveFailed = 110;

  // The socket and the strand live on `ioService`, which must outlive this object.
  CommSocketBase(boost::asio::io_context& ioService, std::string_view loggerCategory);
  CommSocketBase(const CommSocketBase&) = delete;
  CommSocketBase& operator=(const CommSocketBase&) = delete;
  virtual ~CommSocketBase();

  // The virtual operations, in the order the derived session keeps and extends.

  // Shuts the connection down (the base calls do_close).
  virtual void close();
  // Receives every decoded message (message header, payload, 4 zero bytes) on the I/O thread.
  virtual void process_message(CommMessagePtr message) = 0;
  // Starts the asynchronous write of the queue's front entry; reached only from write_message and
  // handle_write, which hold writeMutex (or, with TLS, through the strand).
  virtual void do_write();
  // Called after the read loop ended on an error and `close` ran; the base does nothing.
  virtual void on_read_error(const boost::system::error_code& error);
  // Called after an asynchronous write failed; the base does nothing.
  virtual void on_write_error(const boost::system::error_code& error);
  // Logs the byte counters.
  virtual void log_traffic();
  // Starts reading the next frame header. Once started (by the session when it is connected; with
  // TLS through the strand) the read loop keeps itself going until the first error or malformed
  // frame, each of which calls `close` and then `on_read_error`.
  virtual void do_read_header();
  virtual void do_read_body();

  // Sends a message built by send_message. Queued (returns 0), or in synchronous mode written
  // at once (returns 0 or the socket error value). After do_close nothing is queued: the result
  // is not_connected.
  int write_message(CommMessagePtr message);
  // Synchronous receive of one whole message: 0 with the record in `message`, or
  // kReceiveBadFrame, kReceiveBadPayload or kReceiveFailed. Frames without a body are skipped.
  virtual int Receive(CommMessagePtr& message);
  // enable false drops the TLS stream; enable true with a context puts a new TLS stream over the
  // socket (no peer verification; certificate problems are logged); a null context changes
  // nothing.
  void attach_tls(bool enable, boost::asio::ssl::context* context);
  // Shuts the socket (and TLS stream) down once; later calls only log.
  void do_close();

  uint64_t bytesSent() const { return bytesSent_.load(std::memory_order_relaxed); }
  uint64_t bytesReceived() const { return bytesReceived_.load(std::memory_order_relaxed); }
  bool useTls() const { return useTls_; }
  bool syncMode() const { return syncMode_.load(); }
  void SetSyncMode(bool syncMode) { syncMode_.store(syncMode); }
  bool closed() const { return closed_.load(); }
  int32_t compressionLevel() const { return compressionLevel_.load(std::memory_order_relaxed); }
  void SetCompressionLevel(int32_t level) {
    compressionLevel_.store(level, std::memory_order_relaxed);
  }
  uint32_t compressionMinBytes() const {
    return compressionMinBytes_.load(std::memory_order_relaxed);
  }
  void SetCompressionMinBytes(uint32_t minBytes) {
    compressionMinBytes_.store(minBytes, std::memory_order_relaxed);
  }

 protected:
  const LoggerPtr& logger() const { return logger_; }
  boost::asio::ip::tcp::socket& socket() { return socket_; }
  // The TLS stream while one is attached, else null.
  TlsStream* tlsStream() { return tlsStream_.get(); }
  Strand& strand() { return strand_; }
  boost::asio::io_context& ioService() { return *ioService_; }
  boost::asio::ssl::context* tlsContext() const { return tlsContext_; }
  // A restarted connection may be closed again.
  void ClearClosed() { closed_.store(false); }
  // The address that identifies this connection in log lines: the whole object's, so that the
  // base and the derived class print the same value.
  const void* address() const { return dynamic_cast<const void*>(this); }

 private:
  void handle_write(const boost::system::error_code& error);
  void handle_read_header(const boost::system::error_code& error);
  void handle_read_body(const boost::system::error_code& error, size_t bytes,
                        const CommMessagePtr& body);
  int write_now(const CommMessagePtr& message);
  // Ends the read loop on a frame that cannot be taken: `close`, then `on_read_error`.
  void end_read_loop(const boost::system::error_code& error);
  // The certificate check installed on every TLS stream: logs a certificate problem unless the
  // subject names the product's own servers, and never changes the verification result.
  bool verify_certificate(bool preverified, boost::asio::ssl::verify_context& context);

  LoggerPtr logger_;
  std::deque<CommMessagePtr> writeQueue_;
  std::recursive_mutex writeMutex_;
  std::atomic<uint64_t> bytesSent_{0};
  std::atomic<uint64_t> bytesReceived_{0};
  std::array<uint8_t, frame::kFrameHeaderSize> incomingBytes_{};
  FrameHeader incomingHeader_;
  Strand strand_;
  boost::asio::ip::tcp::socket socket_;
  std::unique_ptr<TlsStream> tlsStream_;
  bool useTls_ = false;
  boost::asio::io_context* ioService_;
  std::atomic<bool> syncMode_{false};
  boost::asio::ssl::context* tlsContext_ = nullptr;
  std::atomic<bool> closed_{false};
  std::atomic<int32_t> compressionLevel_{0};
  std::atomic<uint32_t> compressionMinBytes_{0xFFFFFFFF};
};

}  // namespace sondrel
