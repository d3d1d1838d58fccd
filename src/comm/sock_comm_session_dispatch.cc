// The session's dispatcher: every received message, and the records the session makes up itself
// when the connection is lost or a write fails, pass through process_message on the I/O thread.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>

#include "comm/channel_session_provider.h"
#include "comm/channel_table.h"
#include "comm/request_result.h"
#include "comm/send_message.h"
#include "comm/sock_comm_session.h"
#include "comm/sock_thread_channel.h"
#include "comm/utc_clock.h"
#include "logging/log.h"
#include "protocol/hello_record.h"
#include "protocol/message_codes.h"
#include "protocol/received_message.h"
#include "protocol/running_data.h"
#include "protocol/session_records.h"

namespace sondrel {
namespace {

// The log line of each load flag when a ping answer reports it, in the order of kLoadFlags.
constexpr const char* kLoadFlagLines[] = {
    " client session is Server_Underloaded",
    " client session is Server_Normal",
    " client session is Server_Overloaded",
    " client session is Server_Normal",
};
static_assert(std::size(kLoadFlagLines) == std::size(kLoadFlags));

// Only the last load flag of a ping answer counts towards the state's count.
constexpr size_t kCountingPingFlag = 3;

}  // namespace

void SockCommSession::process_message(CommMessagePtr message) {
  if (message == nullptr) {
    return;
  }
  const ReceivedMessage received(*message);
  switch (received.messageType()) {
    case MessageType::ScanFinished:
      if (received.messageKind() != MessageKind::FinalAnswer) {
        return;
      }
      apply_load_flags(received.serverStatus(), false);
      break;
    case MessageType::Hello:
      if (!process_hello_answer(message, received)) {
        return;
      }
      break;
    case MessageType::Ping:
      process_ping_answer(received);
      return;
    case MessageType::ClientGetRunningServerData:
      process_running_server_data(received);
      return;
    default:
      break;
  }
  route_message(message, received);
}

void SockCommSession::apply_load_flags(uint32_t serverStatus, bool fromPing) {
  for (size_t i = 0; i < std::size(kLoadFlags); ++i) {
    if ((serverStatus & kLoadFlags[i].bit) == 0) {
      continue;
    }
    if (fromPing) {
      LOG_DEBUG(logger(), address() << kLoadFlagLines[i]);
    }
    SetServerState(kLoadFlags[i].state, !fromPing || i == kCountingPingFlag);
  }
}

bool SockCommSession::process_hello_answer(const CommMessagePtr& message,
                                           const ReceivedMessage& received) {
  call_hello_callback(message);
  const uint32_t flags = hello::AnswerFlags(received.payload());
  if (!evaluate_hello_flags(flags)) {
    SetServerState(Server_Down, true);
    do_close();
    return false;
  }
  SetServerState(Server_Normal, true);
  connected_.store(true);
  if (connectAsync_.load() && !runningDataRequested_.exchange(true)) {
    send_running_data_request();
  }
  return true;
}

bool SockCommSession::evaluate_hello_flags(uint32_t flags) {
  const bool allowed = (flags & hello::kMajorVersionMismatch) == 0;
  if (!allowed) {
    LOG_ERROR(logger(),
              address() << " Major version mismatch! Cannot continue!!! Launch a product update.");
  }
  if ((flags & hello::kMinorVersionMismatch) != 0) {
    LOG_INFO(logger(), address() << " Minor version mismatch! Launch a product update.");
  }
  if ((flags & hello::kEngineMajorMismatch) != 0) {
    LOG_INFO(logger(), address() << " Engine version major mismatch. Will scan without context! "
                                    "Perform a signature update!");
  }
  if ((flags & hello::kEngineMinorMismatch) != 0) {
    LOG_INFO(logger(), address() << " Engine version minor mismatch. Perform a signature update!");
  }
  if (!allowed) {
    LOG_FATAL(logger(),
              address() << " server dows not allow connection. Perform signature and product "
                           "update! "
                        << flags);
  }
  return allowed;
}

void SockCommSession::process_ping_answer(const ReceivedMessage& received) {
  const auto payload = received.payload();
  if (received.payloadLength() == 0) {
    pingEchoes_.store(false);
  } else if (auto echoed = PingTimestamp(payload)) {
    // An answer of 1 to 7 bytes echoes, but carries no whole timestamp to measure with.
    const auto latency = static_cast<int64_t>(UtcMicrosecondsSince1400() - *echoed);
    LOG_DEBUG(logger(), address() << " client session received ping from server latency in "
                                     "microseconds is : "
                                  << latency);
    record_latency(static_cast<uint64_t>(latency));
  }
  // Cleared once the answer is taken into account: PingServer, which waits for the clear, and
  // the drop rule after it then see the latency and the count of slow pings this answer made.
  pingOutstanding_.store(0);
  const CommServerEntry entry = serverEntry();
  LOG_DEBUG(logger(), address() << " client session received ping from server: " << entry.address
                                << " usessl: " << entry.useSSL
                                << " load: " << received.serverStatus());
  apply_load_flags(received.serverStatus(), true);
}

void SockCommSession::record_latency(uint64_t latencyUs) {
  lastLatencyUs_.store(static_cast<int64_t>(
      std::min<uint64_t>(latencyUs, static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))));
  if (latencyUs > latencyThresholdUs()) {
    slowPingCount_.fetch_add(1);
  } else {
    slowPingCount_.store(0);
  }
}

void SockCommSession::process_running_server_data(const ReceivedMessage& received) {
  const std::optional<running_data::RunningData> data =
      running_data::ParseRecord(received.payload());
  if (!data) {
    LOG_ERROR(logger(), address() << " Could not deserialize a ServerGetRunningServerData");
    return;
  }
  // Logged before the waiting Start can go on and log that it has the data.
  LOG_INFO(logger(), address() << " Obtained server data. ID: " << FormatServerIdentity(data->id)
                               << "Version: " << data->versionMajor << "." << data->versionMinor);
  {
    std::lock_guard<std::mutex> lock(runningDataMutex_);
    serverRunningId_ = data->id;
    serverVersionMajor_ = data->versionMajor;
    serverVersionMinor_ = data->versionMinor;
    runningDataObtained_.store(true);
  }
  runningDataChanged_.notify_all();
}

int SockCommSession::send_running_data_request() {
  std::array<uint8_t, running_data::kRequestSize> request = running_data::MakeRequest();
  return send_message(*this, 0, 0, 0, MessageType::ClientGetRunningServerData, MessageKind::Request,
                      request.data(), request.size(), true, 0,
                      static_cast<int32_t>(requestTimeoutMs()));
}

void SockCommSession::ClientGetRunningServerData() {
  const int sent = send_running_data_request();
  if (sent != 0) {
    LOG_ERROR(logger(),
              address() << " ClientGetRunningServerData: sending/receiving the message returned "
                        << sent);
    return;
  }
  std::unique_lock<std::mutex> lock(runningDataMutex_);
  runningDataChanged_.wait_for(lock, std::chrono::milliseconds(requestTimeoutMs()), [this] {
    return runningDataObtained() || stopRequested() || connectInterrupted();
  });
  lock.unlock();
  if (runningDataObtained()) {
    LOG_INFO(logger(), address() << " Obtained running-server data");
  } else {
    LOG_WARN(logger(), address() << " Not obtained running-server data");
  }
}

void SockCommSession::route_message(const CommMessagePtr& message,
                                    const ReceivedMessage& received) {
  int32_t result = DeliveryResult::NoChannel;
  const int32_t index = received.channelIndex();
  ChannelTable* table = channels_.load();
  // Looked up under the table's own lock, which is released before the provider's lookup.
  const std::shared_ptr<SockThreadChannel> entry = table != nullptr ? table->At(index) : nullptr;
  if (index == kSpecialChannelIndex && channelProvider_ != nullptr) {
    if (auto channel = channelProvider_->GetChannel(index, this)) {
      result = channel->Deliver(message);
    }
  } else if (entry != nullptr) {
    if (auto channel = channel_for(index, entry)) {
      result = channel->Deliver(message);
    }
  } else if (index == kAllChannels) {
    LOG_INFO(logger(), address() << " Server appears to be down. Will notify all channels");
    SetServerState(Server_Down, true);
    if (table != nullptr) {
      for (const auto& tableEntry : table->Channels()) {
        if (!tableEntry->inUse()) {
          continue;
        }
        if (auto channel = channel_for(tableEntry->index(), tableEntry)) {
          channel->Deliver(message);
        }
      }
    }
  } else {
    LOG_INFO(logger(),
             address() << " Received message has as target an unexisting channel " << index);
  }

  if (result == DeliveryResult::Delivered || index == kAllChannels) {
    return;
  }
  if (MessageKind::ExpectsAnswer(received.messageKind())) {
    std::array<uint8_t, kErrorCodeSize> code = MakeErrorCode(static_cast<uint32_t>(result));
    send_message(*this, received.requestSeq(), index, received.conversationId(),
                 MessageType::ErrorReply, MessageKind::ErrorAnswer, code.data(), code.size(), true,
                 0, -1);
  }
  LOG_INFO(logger(), address() << " Received message cannot be processed. " << received.route()
                               << " " << received.conversationId() << " "
                               << received.payloadLength());
}

std::shared_ptr<SockThreadChannel> SockCommSession::channel_for(
    int32_t index, const std::shared_ptr<SockThreadChannel>& entry) {
  if (entry == nullptr) {
    return nullptr;
  }
  return channelProvider_ != nullptr ? channelProvider_->GetChannel(index, this) : entry;
}

}  // namespace sondrel
