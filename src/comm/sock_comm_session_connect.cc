// Connection set-up of a session: name resolution, the TCP connect with fall-through to the next
// address, socket options, the TLS handshake and the hello, synchronously on the calling thread
// (Connect) or asynchronously on the session's I/O thread (AsyncConnect and its handlers).
#include <boost/asio/bind_executor.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/socket_base.hpp>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "comm/blocking_deadline.h"
#include "comm/send_message.h"
#include "comm/sock_comm_session.h"
#include "comm/utc_clock.h"
#include "logging/log.h"
#include "platform/process_info.h"
#include "platform/socket_options.h"
#include "protocol/byte_reader.h"
#include "protocol/hello_record.h"
#include "protocol/little_endian.h"
#include "protocol/message_codes.h"
#include "protocol/received_message.h"

namespace sondrel {

class SockCommSession::InterruptibleCall {
 public:
  explicit InterruptibleCall(SockCommSession& session) : session_(session) {
    std::lock_guard<std::mutex> lock(session_.interruptMutex_);
    interrupted_ = session_.connectInterrupted();
    if (!interrupted_) {
      session_.blockingSocket_ = session_.socket().native_handle();
    }
  }
  ~InterruptibleCall() {
    {
      std::lock_guard<std::mutex> lock(session_.interruptMutex_);
      session_.blockingSocket_ = kNoSocket;
    }
    session_.blockingCallEnded_.notify_all();
  }
  InterruptibleCall(const InterruptibleCall&) = delete;
  InterruptibleCall& operator=(const InterruptibleCall&) = delete;

  // The connect has been given up: the call must not be made.
  bool interrupted() const { return interrupted_; }

 private:
  SockCommSession& session_;
  bool interrupted_ = false;
};

void SockCommSession::InterruptConnect() {
  {
    std::lock_guard<std::mutex> dataLock(runningDataMutex_);
    connectInterrupted_.store(true);
  }
  runningDataChanged_.notify_all();
  std::unique_lock<std::mutex> lock(interruptMutex_);
  // A shutdown that comes just before the call has begun does not end it, so it is repeated
  // until the call is over.
  while (blockingSocket_ != kNoSocket) {
    platform::ShutdownSocket(blockingSocket_);
    blockingCallEnded_.wait_for(lock, std::chrono::milliseconds(10));
  }
}

int32_t SockCommSession::Connect() {
  if (IsConnected()) {
    return 0;
  }
  if (!syncMode()) {
    return AsyncConnect();
  }
  const std::string host = GetHost();
  const std::string port = GetPort();
  EndpointList endpoints;
  if (connectInterrupted() || !tls_usable() || resolve(host, port, endpoints)) {
    return kNotConnected;
  }
  if (const int32_t failure = connect_first_reachable(endpoints); failure != 0) {
    return failure;
  }
  if (helloLength() != 0) {
    exchange_hello(host, port);
  } else {
    SetServerState(Server_Normal, true);
    connected_.store(true);
  }
  if (!IsConnected()) {
    Disconnect();
    return kNotConnected;
  }
  return 0;
}

boost::system::error_code SockCommSession::resolve(const std::string& host, const std::string& port,
                                                   EndpointList& endpoints) {
  boost::system::error_code error = resolver_ ? resolver_(host, port, endpoints)
                                              : ResolveTcp(ownIoService(), host, port, endpoints);
  if (!error && endpoints.empty()) {
    error = boost::asio::error::host_not_found;
  }
  if (error) {
    LOG_ERROR(logger(), address() << " Error resolving query for " << host << ":" << port
                                  << ". Error: " << error.value() << " - " << error.message());
  }
  return error;
}

boost::system::error_code SockCommSession::reopen_socket(
    const boost::asio::ip::tcp::endpoint& endpoint) {
  boost::system::error_code error;
  ClearClosed();
  socket().close(error);
  if (useTls()) {
    // A stream that has been closed or failed a handshake cannot be used again.
    attach_tls(true, tlsContext());
    arm_tls_checks();
  }
  socket().open(endpoint.protocol(), error);
  return error;
}

int32_t SockCommSession::connect_first_reachable(const EndpointList& endpoints) {
  int32_t failure = kNotConnected;
  for (const auto& endpoint : endpoints) {
    boost::system::error_code error = reopen_socket(endpoint);
    if (!error) {
      InterruptibleCall call(*this);
      if (call.interrupted()) {
        error = boost::asio::error::operation_aborted;
      } else {
        socket().connect(endpoint, error);
      }
    }
    if (error) {
      failure = error.value();
      continue;
    }
    AddHostName();
    set_socket_options(OptionChecks::AllAtInfo);
    if (!useTls()) {
      return 0;
    }
    {
      const BlockingDeadline deadline(socket().native_handle(), socketTimeoutMs());
      InterruptibleCall call(*this);
      if (call.interrupted()) {
        error = boost::asio::error::operation_aborted;
      } else {
        tlsStream()->handshake(boost::asio::ssl::stream_base::client, error);
      }
    }
    if (!error) {
      note_handshake(true);
      return 0;
    }
    LOG_ERROR(logger(),
              address() << " Error on handshake " << error.value() << " " << error.message());
    note_handshake(false);
    failure = kNotConnected;
  }
  boost::system::error_code ignored;
  socket().close(ignored);
  return failure;
}

void SockCommSession::exchange_hello(const std::string& host, const std::string& port) {
  std::vector<uint8_t> hello = helloPayload();
  hello.resize(hello.size() + hello::kTimestampSize);
  StoreLittleEndian<uint64_t>(hello.data() + hello.size() - hello::kTimestampSize,
                              UtcMicrosecondsSince1400());
  const BlockingDeadline deadline(socket().native_handle(), socketTimeoutMs());
  const InterruptibleCall call(*this);
  if (call.interrupted()) {
    return;
  }
  const int sent = send_message(*this, 0, 0, 0, MessageType::Hello, MessageKind::Request,
                                hello.data(), static_cast<uint32_t>(hello.size()), true, 0, -1);
  if (sent != 0) {
    LOG_ERROR(logger(), address() << " Error sending hello message to " << host << ":" << port
                                  << ". Error: " << sent);
    return;
  }
  CommMessagePtr answer;
  if (Receive(answer) != 0 || ReceivedMessage(*answer).messageType() != MessageType::Hello) {
    LOG_ERROR(logger(), address() << " Error received from hello response " << host << ":" << port);
    return;
  }
  process_sync_hello_answer(answer);
}

void SockCommSession::process_sync_hello_answer(const CommMessagePtr& answer) {
  call_hello_callback(answer);
  const ReceivedMessage message(*answer);
  const auto payload = message.payload();
  if (message.payloadLength() == hello::kEchoingAnswerSize &&
      payload.size() == hello::kEchoingAnswerSize) {
    const uint64_t echoed = ByteReader(payload).U64At(hello::kEchoedTimestampOffset).value_or(0);
    const uint64_t latency = UtcMicrosecondsSince1400() - echoed;
    LOG_DEBUG(logger(), address() << " client session hello from server latency in "
                                     "microseconds is : "
                                  << latency);
    record_latency(latency);
  }
  const uint32_t flags = hello::AnswerFlags(payload);
  if (!evaluate_hello_flags(flags)) {
    return;
  }
  SetServerState(HelloLoadState(message.serverStatus()), true);
  connected_.store(true);
}

int32_t SockCommSession::AsyncConnect() {
  if (stopRequested()) {
    return kStopRequested;
  }
  const std::string host = GetHost();
  const std::string port = GetPort();
  EndpointList endpoints;
  if (!tls_usable() || resolve(host, port, endpoints)) {
    SetServerState(Server_Down, true);
    return kNotConnected;
  }
  runningDataRequested_.store(false);
  start_connect(std::move(endpoints));
  return 0;
}

void SockCommSession::start_connect(EndpointList endpoints) {
  const boost::asio::ip::tcp::endpoint endpoint = endpoints.front();
  endpoints.erase(endpoints.begin());
  const boost::system::error_code error = reopen_socket(endpoint);
  if (error) {
    LOG_INFO(logger(),
             address() << " Cannot connect to " << endpoint << ". Error: " << error.message());
    do_close();
    SetServerState(Server_Down, true);
    handle_connect(error, std::move(endpoints));
    return;
  }
  auto handler = [self = shared_self(), remaining = std::move(endpoints)](
                     const boost::system::error_code& result) mutable {
    self->handle_connect(result, std::move(remaining));
  };
  if (useTls()) {
    socket().async_connect(endpoint, boost::asio::bind_executor(strand(), std::move(handler)));
  } else {
    socket().async_connect(endpoint, std::move(handler));
  }
}

void SockCommSession::handle_connect(const boost::system::error_code& error,
                                     EndpointList remaining) {
  if (error) {
    if (stopRequested()) {
      // A stop closed the socket under the connect: no further address is tried.
      do_close();
      return;
    }
    if (!remaining.empty()) {
      log_connect_failure("", error);
      LOG_INFO(logger(), address() << " Trying with the next ip... ");
      do_close();
      start_connect(std::move(remaining));
      return;
    }
    log_connect_failure("handle_connect ", error);
    SetServerState(Server_Down, true);
    do_close();
    return;
  }
  if (useTls()) {
    tlsStream()->async_handshake(
        boost::asio::ssl::stream_base::client,
        boost::asio::bind_executor(strand(),
                                   [self = shared_self()](const boost::system::error_code& result) {
                                     self->handle_handshake(result);
                                   }));
    return;
  }
  on_connected(OptionChecks::KeepAliveAtError);
}

void SockCommSession::handle_handshake(const boost::system::error_code& error) {
  note_handshake(!error);
  if (error) {
    log_connect_failure("handle_handshake ", error);
    SetServerState(Server_Down, true);
    do_close();
    return;
  }
  on_connected(OptionChecks::AllAtInfo);
}

void SockCommSession::log_connect_failure(std::string_view where,
                                          const boost::system::error_code& error) {
  LOG_INFO(logger(), address() << " Cannot connect to " << GetHost() << ":" << GetPort() << ". "
                               << where << "Error: " << error.value() << " - " << error.message());
}

void SockCommSession::on_connected(OptionChecks checks) {
  LOG_INFO(logger(), address() << " Connected! " << GetHost() << ":" << GetPort());
  std::unique_lock<std::mutex> lock(connectMutex_, std::try_to_lock);
  if (!lock.owns_lock()) {
    // A Stop is running: it closes the connection.
    return;
  }
  const bool wasSyncMode = syncMode();
  // The hello is written synchronously from this thread.
  SetSyncMode(true);
  AddHostName();
  set_socket_options(checks);
  std::vector<uint8_t> hello = helloPayload();
  const int sent = send_message(*this, 0, 0, 0, MessageType::Hello, MessageKind::Request,
                                hello.empty() ? nullptr : hello.data(),
                                static_cast<uint32_t>(hello.size()), true, 0, -1);
  SetSyncMode(wasSyncMode);
  lock.unlock();
  if (sent != 0) {
    LOG_ERROR(logger(), address() << " Cannot send hello message. Error: " << sent);
    SetServerState(Server_Down, true);
    do_close();
    return;
  }
  do_read_header();
  SetServerState(Server_Normal, true);
}

void SockCommSession::set_socket_options(OptionChecks checks) {
  const bool logAll = checks == OptionChecks::AllAtInfo;
  boost::system::error_code error;
  socket().set_option(boost::asio::ip::tcp::no_delay(true), error);
  if (error && logAll) {
    LOG_INFO(logger(), address() << " Cannot set TCP_NODELAY on connection.");
  }
  socket().set_option(boost::asio::socket_base::keep_alive(true), error);
  if (error && logAll) {
    LOG_INFO(logger(), address() << " Cannot set SO_KEEPALIVE on connection.");
  } else if (error) {
    LOG_ERROR(logger(), address() << " Cannot set SO_KEEPALIVE on connection.");
  }
  const uint32_t timeoutMs = socketTimeoutMs();
  if (timeoutMs == 0) {
    return;
  }
  const platform::NativeSocket native = socket().native_handle();
  if (platform::SetSocketTimeout(native, platform::SocketTimeout::Receive, timeoutMs) != 0 &&
      logAll) {
    LOG_INFO(logger(), address() << " Cannot set SO_RCVTIMEO on connection.");
  }
  if (platform::SetSocketTimeout(native, platform::SocketTimeout::Send, timeoutMs) != 0 && logAll) {
    LOG_INFO(logger(), address() << " Cannot set SO_SNDTIMEO on connection.");
  }
}

void SockCommSession::AddHostName() {
  std::lock_guard<std::mutex> lock(helloMutex_);
  if (helloPayload_.size() < hello::kRecordSize) {
    return;
  }
  const std::string name =
      hello::CopyHostName(helloPayload_, hostNameQuery_ ? hostNameQuery_() : platform::HostName());
  const ByteReader record(helloPayload_);
  LOG_INFO(logger(), address() << " Detected client hostname is: " << name << " "
                               << record.U16At(hello::kVersionMajorOffset).value_or(0) << " "
                               << record.U16At(hello::kVersionMinorOffset).value_or(0));
}

}  // namespace sondrel
