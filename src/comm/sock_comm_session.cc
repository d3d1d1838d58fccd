#include "comm/sock_comm_session.h"

#include <boost/asio/post.hpp>
#include <exception>
#include <utility>

#include "comm/channel_table.h"
#include "comm/request_result.h"
#include "comm/sock_thread_channel.h"
#include "logging/log.h"
#include "protocol/frame_layout.h"
#include "protocol/little_endian.h"
#include "protocol/message_codes.h"
#include "protocol/received_message.h"

namespace sondrel {
namespace {

constexpr std::chrono::seconds kFirstKeepAlive{1};
constexpr std::chrono::seconds kKeepAliveInterval{30};
// Consecutive request time-outs after which the server counts as down.
constexpr int32_t kTimeoutsForDown = 3;

// A record as the read loop delivers it (message header, 4-byte payload, trailer), made up by the
// session itself: an error answer with `code` for channel `channelIndex`.
CommMessagePtr SyntheticErrorAnswer(int32_t channelIndex, uint32_t code) {
  CommMessagePtr record = CommMessage::Allocate(frame::kBodyOverhead + 4);
  if (record != nullptr) {
    uint8_t* bytes = record->data();
    StoreLittleEndian<int32_t>(bytes + frame::kChannelIndex, channelIndex);
    StoreLittleEndian<uint32_t>(bytes + frame::kMessageKind, MessageKind::ErrorAnswer);
    StoreLittleEndian<uint32_t>(bytes + frame::kPayloadLength, 4);
    StoreLittleEndian<uint32_t>(bytes + frame::kPayload, code);
  }
  return record;
}

}  // namespace

SockCommSession::SockCommSession(std::string_view loggerCategory,
                                 ChannelSessionProvider* channelProvider)
    : CommSocketBase(*ownIoService_, loggerCategory),
      channelProvider_(channelProvider),
      keepAliveTimer_(*ownIoService_) {}

SockCommSession::~SockCommSession() {
  timerStopped_.store(true);
  if (ioThread_.joinable()) {
    ownIoService().stop();
    if (ioThread_.get_id() == std::this_thread::get_id()) {
      // The last reference went away inside a handler: the thread ends on its own and keeps the
      // io_context alive until then.
      ioThread_.detach();
    } else {
      ioThread_.join();
    }
  }
}

std::shared_ptr<SockCommSession> SockCommSession::shared_self() {
  return std::static_pointer_cast<SockCommSession>(shared_from_this());
}

void SockCommSession::close() {
  SetServerState(Server_Down, true);
  connected_.store(false);
  LOG_INFO(logger(), address() << " Closing connection");
  do_close();
  LOG_INFO(logger(), address() << " Connection closed");
  if (!syncMode()) {
    if (CommMessagePtr broadcast = SyntheticErrorAnswer(kAllChannels, RequestResult::Stopping)) {
      process_message(std::move(broadcast));
    }
  }
}

void SockCommSession::on_read_error(const boost::system::error_code& error) {
  if (!stopRequested()) {
    LOG_INFO(logger(), address() << " on_read_error:" << error.message());
  }
}

void SockCommSession::on_write_error(const boost::system::error_code& error) {
  LOG_INFO(logger(), address() << " on_write_error: " << error.value() << " " << error.message());
  if (CommMessagePtr record = SyntheticErrorAnswer(0, static_cast<uint32_t>(error.value()))) {
    process_message(std::move(record));
  }
}

int SockCommSession::Receive(CommMessagePtr& message) {
  const int result = CommSocketBase::Receive(message);
  if (result != 0) {
    return result;
  }
  const ReceivedMessage received(*message);
  ChannelTable* table = channels_.load();
  if (table != nullptr) {
    if (auto channel = channel_for(received.channelIndex(), table->At(received.channelIndex()))) {
      channel->SetConversationId(received.conversationId());
    }
  }
  return 0;
}

int32_t SockCommSession::Start() {
  stopRequested_.store(false);
  if (syncMode() || ioThread_.joinable()) {
    return 0;
  }
  ownIoService().restart();
  bool connectFailed = false;
  if (connectAsync_.load()) {
    boost::asio::post(ownIoService(), [self = shared_self()] { self->AsyncConnect(); });
  } else {
    SetSyncMode(true);
    const int32_t result = Connect();
    SetSyncMode(false);
    if (result == 0) {
      start_reading();
    } else {
      connectFailed = true;
      SetServerState(Server_Down, true);
    }
  }
  timerStopped_.store(false);
  arm_keep_alive(kFirstKeepAlive);
  ioThreadRunning_.store(true);
  ioThread_ = std::thread([io = ownIoService_, logger = logger(), address = address()] {
    // A handler that throws must not end the host process: the failure is logged and the
    // session's I/O goes on.
    while (true) {
      try {
        io->run();
        return;
      } catch (const std::exception& exception) {
        LOG_ERROR(logger, address << " I/O thread: " << exception.what());
      }
    }
  });
  // An asynchronous connect asks once its hello has been accepted.
  if (!connectFailed && !connectAsync_.load()) {
    ClientGetRunningServerData();
  }
  return 0;
}

void SockCommSession::Stop() {
  std::lock_guard<std::mutex> lock(connectMutex_);
  {
    std::lock_guard<std::mutex> dataLock(runningDataMutex_);
    stopRequested_.store(true);
  }
  runningDataChanged_.notify_all();
  if (syncMode()) {
    return;
  }
  auto self = shared_self();
  run_on_io_thread([self] { self->close(); });
  timerStopped_.store(true);
  run_on_io_thread([self] { self->keepAliveTimer_.cancel(); });
  join_io_thread();
}

int32_t SockCommSession::Restart() {
  Stop();
  return Start();
}

void SockCommSession::Disconnect() {
  if (syncMode()) {
    connected_.store(false);
    close();
    return;
  }
  run_on_io_thread([self = shared_self()] { self->do_close(); });
}

void SockCommSession::run_on_io_thread(std::function<void()> work) {
  if (!ioThreadRunning_.load()) {
    work();
  } else if (useTls()) {
    boost::asio::post(strand(), std::move(work));
  } else {
    boost::asio::post(ownIoService(), std::move(work));
  }
}

void SockCommSession::start_reading() {
  if (useTls()) {
    boost::asio::post(strand(), [self = shared_self()] { self->do_read_header(); });
  } else {
    do_read_header();
  }
}

void SockCommSession::arm_keep_alive(std::chrono::seconds delay) {
  keepAliveTimer_.expires_after(delay);
  // The timer only keeps the I/O thread busy: it does not keep the session alive.
  keepAliveTimer_.async_wait([weak = weak_from_this()](const boost::system::error_code& error) {
    auto base = weak.lock();
    if (error || base == nullptr) {
      return;
    }
    auto self = std::static_pointer_cast<SockCommSession>(base);
    if (!self->timerStopped()) {
      self->arm_keep_alive(kKeepAliveInterval);
    }
  });
}

void SockCommSession::join_io_thread() {
  if (ioThread_.joinable() && ioThread_.get_id() != std::this_thread::get_id()) {
    ioThread_.join();
    ioThreadRunning_.store(false);
  }
}

int32_t SockCommSession::SetHelloCallback(void* context, MessageCallback callback) {
  std::lock_guard<std::mutex> lock(callbackMutex_);
  helloContext_ = context;
  helloCallback_ = callback;
  return 0;
}

void SockCommSession::call_hello_callback(const CommMessagePtr& message) {
  MessageCallback callback = nullptr;
  void* context = nullptr;
  {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    callback = helloCallback_;
    context = helloContext_;
  }
  if (callback != nullptr) {
    callback(message, context, nullptr);
  }
}

void SockCommSession::LogTraffic() {
  log_traffic();
}

void SockCommSession::SetChannels(ChannelTable* channels) {
  channels_.store(channels);
}

void SockCommSession::SetHost(const std::string& host) {
  std::lock_guard<std::mutex> lock(entryMutex_);
  serverEntry_.address = host;
}

void SockCommSession::SetNodeId(const std::string& nodeId) {
  std::lock_guard<std::mutex> lock(entryMutex_);
  serverEntry_.nodeid = nodeId;
}

void SockCommSession::SetPort(const std::string& port) {
  std::lock_guard<std::mutex> lock(entryMutex_);
  serverEntry_.port = port;
}

std::string SockCommSession::GetHost() const {
  std::lock_guard<std::mutex> lock(entryMutex_);
  return serverEntry_.address;
}

std::string SockCommSession::GetPort() const {
  std::lock_guard<std::mutex> lock(entryMutex_);
  return serverEntry_.port;
}

void SockCommSession::SetServerEntry(const CommServerEntry& entry) {
  std::lock_guard<std::mutex> lock(entryMutex_);
  serverEntry_ = entry;
}

CommServerEntry SockCommSession::serverEntry() const {
  std::lock_guard<std::mutex> lock(entryMutex_);
  return serverEntry_;
}

void SockCommSession::SetHelloPayload(const uint8_t* payload, uint32_t length) {
  std::lock_guard<std::mutex> lock(helloMutex_);
  if (payload == nullptr) {
    helloPayload_.clear();
  } else {
    helloPayload_.assign(payload, payload + length);
  }
}

std::vector<uint8_t> SockCommSession::helloPayload() const {
  std::lock_guard<std::mutex> lock(helloMutex_);
  return helloPayload_;
}

uint32_t SockCommSession::helloLength() const {
  std::lock_guard<std::mutex> lock(helloMutex_);
  return static_cast<uint32_t>(helloPayload_.size());
}

void SockCommSession::SetResolver(Resolver resolver) {
  resolver_ = std::move(resolver);
}

void SockCommSession::SetHostNameQuery(HostNameQuery query) {
  hostNameQuery_ = std::move(query);
}

void SockCommSession::RecordRequestTimeout() {
  if (timeoutCount_.fetch_add(1) + 1 >= kTimeoutsForDown) {
    SetServerState(Server_Down, true);
  }
}

ServerIdentity SockCommSession::serverRunningId() const {
  std::lock_guard<std::mutex> lock(runningDataMutex_);
  return serverRunningId_;
}

uint16_t SockCommSession::serverVersionMajor() const {
  std::lock_guard<std::mutex> lock(runningDataMutex_);
  return serverVersionMajor_;
}

uint16_t SockCommSession::serverVersionMinor() const {
  std::lock_guard<std::mutex> lock(runningDataMutex_);
  return serverVersionMinor_;
}

}  // namespace sondrel
