// One client connection's protocol, without the socket: the hello and its answer, pings and the
// load notices, the running-server data, scan requests and the pieces that answer their read
// requests, slots, and the error answer for a request nothing can take. The connection hands it
// every received record; its answers go to the connection's MessageSink. A fuzz target drives it
// the same way.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "protocol/comm_message.h"
#include "protocol/received_message.h"
#include "server/message_sink.h"
#include "server/scan_job.h"
#include "server/server_context.h"
#include "server/server_log.h"
#include "server/slot_table.h"

namespace sondrel::server {

class SessionHandler : public std::enable_shared_from_this<SessionHandler> {
 public:
  using Clock = std::chrono::steady_clock;
  enum class Verdict { Continue, Close };

  SessionHandler(ServerContext& context, std::weak_ptr<MessageSink> sink, std::string peer);

  // One received record (message header, payload, trailer). Close: the record is not one a
  // well-behaved client sends, and the connection is to be closed.
  Verdict OnRecord(const CommMessagePtr& record);
  // The connection is gone: every scan of this session ends.
  void OnClosed();
  // The server's load flags changed: tells the client, in the form of a ping answer, unless the
  // last message it was sent already carried the flags now in force.
  void OnLoadChanged();

  // For the scans of this session.
  void SendMessage(uint32_t type, uint32_t kind, const ConversationRoute& route,
                   std::span<const uint8_t> payload, int32_t answerTimeoutMs = -1);
  void ScanFinished(const ConversationRoute& route, ScanRecord record);

  const std::string& peer() const { return peer_; }
  size_t scansInFlight() const;

 private:
  struct Stamp {
    uint64_t timestamp = 0;
    Clock::time_point received;
  };

  void OnHello(const ReceivedMessage& message);
  void OnPing(const ReceivedMessage& message);
  void OnRunningData(const ReceivedMessage& message);
  void OnScanRequest(const CommMessagePtr& record, const ReceivedMessage& message);
  Verdict OnReadAnswer(const CommMessagePtr& record, const ReceivedMessage& message);
  void OnSlotMessage(const ReceivedMessage& message);
  void OnErrorReply(const ReceivedMessage& message);
  void SendErrorAnswer(const ReceivedMessage& message, uint32_t code);
  void AnswerAtOnce(const ConversationRoute& route, const ReceivedScanRequest* request,
                    std::string name, uint64_t size, int32_t status, Clock::time_point arrived);
  void RememberStamp(uint64_t timestamp);
  std::shared_ptr<ScanJob> FindJob(const ReceivedMessage& message);

  ServerContext& context_;
  const std::weak_ptr<MessageSink> sink_;
  const std::string peer_;

  mutable std::mutex mutex_;
  std::map<uint64_t, std::shared_ptr<ScanJob>> jobs_;
  std::optional<Stamp> stamp_;
  // The load flags of the last message sent.
  std::atomic<uint32_t> lastFlags_{0};
  SlotTable slots_;
  bool closed_ = false;
};

}  // namespace sondrel::server
