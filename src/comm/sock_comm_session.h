// One connection to one scan server. The socket base moves the bytes; the session adds the server
// entry and the hello it sends, the server's state as its messages report it, the lifecycle
// (Start, Stop, Restart, Disconnect) with the session's own I/O thread, connection set-up (name
// resolution, connect with fall-through to the next address, socket options, TLS, hello) and the
// dispatcher every received message passes through: hello, ping and running-server data answers
// are handled here, everything else is routed by channel index to the waiting request channel.
//
// Held by shared_ptr (made with std::make_shared). Every field that the I/O thread writes and
// other threads read is atomic or guarded by a mutex of its own.
#pragma once

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/system/error_code.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "comm/comm_socket_base.h"
#include "comm/endpoint_resolver.h"
#include "comm/message_callback.h"
#include "comm/server_state.h"
#include "comm/session_tls.h"
#include "comm/tls_verification.h"
#include "config/comm_server_entry.h"
#include "platform/socket_options.h"
#include "protocol/server_identity.h"

namespace sondrel {

class ChannelSessionProvider;
class ChannelTable;
class ReceivedMessage;
class SockThreadChannel;

// The session's own io_context, in a base listed before the socket base so that it outlives the
// socket. Held by shared_ptr so that the I/O thread can keep it alive when the session ends on
// that very thread.
class SessionIoService {
 protected:
  SessionIoService() : ownIoService_(std::make_shared<boost::asio::io_context>()) {}
  std::shared_ptr<boost::asio::io_context> ownIoService_;
};

// What a TLS session verifies, in a base listed before the socket base so that the context and the
// state the TLS stream's callbacks use outlive the stream.
class SessionTlsHolder {
 protected:
  std::shared_ptr<const SessionTls> sessionTls_;
  mutable std::mutex sessionTlsMutex_;
  // Touched by the connecting thread only (the handshake's callbacks run there too).
  TlsVerifyState verifyState_;
};

class SockCommSession : private SessionIoService, private SessionTlsHolder, public CommSocketBase {
 public:
  // Connect: the hello exchange did not make the session connected.
  static constexpr int32_t kNotConnected = 2250;
  // AsyncConnect: the session is being stopped.
  static constexpr int32_t kStopRequested = 21;

  using HostNameQuery = std::function<std::string()>;

  // `channelProvider` (may be null) resolves channel indices for this session; without one the
  // session delivers to the table's channels directly.
  SockCommSession(std::string_view loggerCategory, ChannelSessionProvider* channelProvider);
  ~SockCommSession() override;

  // The socket base's operations, as the session overrides them.

  // Marks the server down, closes the socket and, unless in synchronous mode, releases every
  // waiting requester of the session's channels with Stopping.
  void close() override;
  void process_message(CommMessagePtr message) override;
  void on_read_error(const boost::system::error_code& error) override;
  void on_write_error(const boost::system::error_code& error) override;
  // The base's receive; a received message's conversationId is stored in its channel.
  int Receive(CommMessagePtr& message) override;

  // Lifecycle.

  // Connects (synchronously, or posts the asynchronous connect), starts the keep-alive timer and
  // the I/O thread and, after a synchronous connect, asks for the running-server data. Returns 0.
  int32_t Start();
  // Closes the connection and ends the I/O thread; in synchronous mode only marks the stop.
  void Stop();
  // Stop, then Start; every connect attempt opens the socket anew.
  int32_t Restart();
  // In synchronous mode: not connected any more, and closed. Otherwise the socket is closed on the
  // I/O thread, without changing the state.
  void Disconnect();

  // Connection set-up.

  // In synchronous mode: resolve, connect (next address on failure), socket options, TLS
  // handshake, hello and its answer, all on the calling thread. Returns 0 when connected,
  // kNotConnected when the session's TLS settings cannot be used, resolution or the hello
  // exchange failed or the last address failed its handshake, else the error value of the last
  // failed TCP connect. Otherwise AsyncConnect.
  int32_t Connect();
  // Resolves (blocking) and starts connecting on the I/O thread. Returns 0, kStopRequested or
  // kNotConnected when the TLS settings cannot be used or resolution failed.
  int32_t AsyncConnect();
  void handle_connect(const boost::system::error_code& error, EndpointList remaining);
  void handle_handshake(const boost::system::error_code& error);
  // Writes the local host name into the hello payload and logs it.
  void AddHostName();
  // Asks the server for its identity and version and waits up to requestTimeoutMs for them.
  void ClientGetRunningServerData();
  // Gives up a synchronous connect from another thread, for a session that is dropped before
  // anyone else uses it: the blocking socket call in progress fails at once, no further one is
  // made, and neither the wait for running-server data nor a ping wait goes on. Returns once no
  // blocking call of the connect is running any more. Final for the session.
  void InterruptConnect();
  bool connectInterrupted() const { return connectInterrupted_.load(); }

  // Ping.

  // One ping exchange on the calling thread: sends the current time and waits, polling every
  // 10 ms, up to 2 seconds for the echo. An echo that does not come in time counts as a slow
  // ping. Nothing is sent to a server that answered a ping without echoing it, nor once the
  // session is stopping, down or retired.
  void PingServer();

  // Configuration.

  int32_t SetHelloCallback(void* context, MessageCallback callback);
  void LogTraffic();
  void SetChannels(ChannelTable* channels);
  void SetHost(const std::string& host);
  void SetNodeId(const std::string& nodeId);
  void SetPort(const std::string& port);
  std::string GetHost() const;
  std::string GetPort() const;
  void SetConnectAsync(bool connectAsync) { connectAsync_.store(connectAsync); }
  bool IsConnected() const { return connected_.load(); }
  // The TLS context and checks of a TLS session (from the comm client's TlsSetup), set before it
  // connects: attaches a TLS stream made from that context. Null makes the session plain.
  void SetTls(std::shared_ptr<const SessionTls> tls);
  // The server's certificate passed the session's checks at the last handshake.
  bool tlsVerified() const { return tlsVerified_.load(); }
  // The configured server's fields (host, port and node id included).
  void SetServerEntry(const CommServerEntry& entry);
  CommServerEntry serverEntry() const;
  // The hello record sent at every connect; empty sends no hello.
  void SetHelloPayload(const uint8_t* payload, uint32_t length);
  std::vector<uint8_t> helloPayload() const;
  uint32_t helloLength() const;
  void SetRequestTimeoutMs(uint32_t ms) { requestTimeoutMs_.store(ms); }
  uint32_t requestTimeoutMs() const { return requestTimeoutMs_.load(); }
  void SetSocketTimeoutMs(uint32_t ms) { socketTimeoutMs_.store(ms); }
  uint32_t socketTimeoutMs() const { return socketTimeoutMs_.load(); }
  void SetLatencyThresholdUs(uint64_t us) { latencyThresholdUs_.store(us); }
  uint64_t latencyThresholdUs() const { return latencyThresholdUs_.load(); }
  // Replaces name resolution (tests); the default asks the system.
  void SetResolver(Resolver resolver);
  // Replaces the local host name query (tests); the default asks the system.
  void SetHostNameQuery(HostNameQuery query);

  // State.

  ServerStateValue serverState() const { return serverState_.Load(); }
  // Updates the state with the counting rule; Server_Retired is final.
  void SetServerState(int32_t state, bool counting) { serverState_.Set(state, counting); }
  int32_t timeoutCount() const { return timeoutCount_.load(); }
  // One more consecutive request time-out; the third marks the server down.
  void RecordRequestTimeout();
  void ClearTimeoutCount() { timeoutCount_.store(0); }
  int32_t slowPingCount() const { return slowPingCount_.load(); }
  // The round trip the last echoed hello or ping measured, in microseconds; -1 before any.
  int64_t lastLatencyUs() const { return lastLatencyUs_.load(); }
  int32_t pingOutstanding() const { return pingOutstanding_.load(); }
  bool pingEchoes() const { return pingEchoes_.load(); }
  bool timerStopped() const { return timerStopped_.load(); }
  bool stopRequested() const { return stopRequested_.load(); }
  bool runningDataObtained() const { return runningDataObtained_.load(); }
  ServerIdentity serverRunningId() const;
  uint16_t serverVersionMajor() const;
  uint16_t serverVersionMinor() const;

 private:
  // Which socket option failures are logged, and at which level.
  enum class OptionChecks { AllAtInfo, KeepAliveAtError };
  // Publishes the socket of one blocking call of a synchronous connect, so that InterruptConnect
  // can shut it down.
  class InterruptibleCall;

  std::shared_ptr<SockCommSession> shared_self();
  boost::asio::io_context& ownIoService() { return *ownIoService_; }
  // Runs `work` on the I/O thread (through the strand with TLS), or at once when no I/O thread
  // runs.
  void run_on_io_thread(std::function<void()> work);
  void start_reading();
  void arm_keep_alive(std::chrono::seconds delay);
  void join_io_thread();

  // Dispatch.
  void apply_load_flags(uint32_t serverStatus, bool fromPing);
  bool process_hello_answer(const CommMessagePtr& message, const ReceivedMessage& received);
  void process_ping_answer(const ReceivedMessage& received);
  void process_running_server_data(const ReceivedMessage& received);
  void route_message(const CommMessagePtr& message, const ReceivedMessage& received);
  // The channel to deliver to: through the provider when there is one, else the table's entry.
  std::shared_ptr<SockThreadChannel> channel_for(int32_t index,
                                                 const std::shared_ptr<SockThreadChannel>& entry);
  void call_hello_callback(const CommMessagePtr& message);
  // Logs the answer's flags, and the refusal when the server refuses the client (then false).
  bool evaluate_hello_flags(uint32_t flags);
  void record_latency(uint64_t latencyUs);
  int send_running_data_request();

  // Connection set-up.
  // The endpoints to try; a failure, or a name without endpoints, is logged and returned.
  boost::system::error_code resolve(const std::string& host, const std::string& port,
                                    EndpointList& endpoints);
  // Connects to the endpoints in order; 0, or the Connect result of the failure.
  // A fresh socket for one connect attempt (with TLS, a fresh stream over it); the open's error.
  boost::system::error_code reopen_socket(const boost::asio::ip::tcp::endpoint& endpoint);
  int32_t connect_first_reachable(const EndpointList& endpoints);
  void exchange_hello(const std::string& host, const std::string& port);
  void process_sync_hello_answer(const CommMessagePtr& answer);
  void start_connect(EndpointList endpoints);
  // " Cannot connect to host:port. " + `where` + "Error: " with the error's value and text.
  void log_connect_failure(std::string_view where, const boost::system::error_code& error);
  void on_connected(OptionChecks checks);

  // TLS verification (sock_comm_session_tls.cc).
  std::shared_ptr<const SessionTls> sessionTls() const;
  // False, after logging why, when the session's TLS settings cannot be used.
  bool tls_usable();
  // Prepares a TLS stream just attached for the session's checks, if it has any.
  void arm_tls_checks();
  // Logs the outcome of a handshake as far as verification goes.
  void note_handshake(bool succeeded);
  void set_socket_options(OptionChecks checks);

  std::vector<uint8_t> helloPayload_;
  mutable std::mutex helloMutex_;
  std::atomic<bool> stopRequested_{false};
  ChannelSessionProvider* const channelProvider_;
  CommServerEntry serverEntry_;
  mutable std::mutex entryMutex_;
  std::atomic<ChannelTable*> channels_{nullptr};
  void* helloContext_ = nullptr;
  MessageCallback helloCallback_ = nullptr;
  mutable std::mutex callbackMutex_;
  std::mutex connectMutex_;
  Resolver resolver_;
  HostNameQuery hostNameQuery_;
  boost::asio::steady_timer keepAliveTimer_;
  std::atomic<bool> timerStopped_{false};
  std::atomic<bool> connectAsync_{false};
  std::thread ioThread_;
  std::atomic<bool> ioThreadRunning_{false};
  std::atomic<bool> connected_{false};
  ServerStateCell serverState_;
  std::atomic<int32_t> timeoutCount_{0};
  std::atomic<uint32_t> requestTimeoutMs_{4000};
  std::atomic<uint32_t> socketTimeoutMs_{0};
  std::atomic<int32_t> slowPingCount_{0};
  std::atomic<int64_t> lastLatencyUs_{-1};
  std::atomic<int32_t> pingOutstanding_{0};
  std::atomic<uint64_t> latencyThresholdUs_{50000};
  std::atomic<bool> pingEchoes_{true};
  std::atomic<bool> runningDataObtained_{false};
  // Whether this connection has asked for the running-server data (asynchronous connects ask
  // once the hello is accepted).
  std::atomic<bool> runningDataRequested_{false};
  ServerIdentity serverRunningId_{};
  uint16_t serverVersionMajor_ = 0;
  uint16_t serverVersionMinor_ = 0;
  mutable std::mutex runningDataMutex_;
  std::condition_variable runningDataChanged_;
  std::atomic<bool> connectInterrupted_{false};
  std::atomic<bool> tlsVerified_{false};
  // The session has said that its server's identity is not verified.
  std::atomic<bool> unverifiedLogged_{false};
  // Guards blockingSocket_: the socket of the blocking call in progress, or kNoSocket.
  std::mutex interruptMutex_;
  std::condition_variable blockingCallEnded_;
  static constexpr platform::NativeSocket kNoSocket = -1;
  platform::NativeSocket blockingSocket_ = kNoSocket;
};

}  // namespace sondrel
