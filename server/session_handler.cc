#include "server/session_handler.h"

#include <algorithm>
#include <atomic>
#include <charconv>

#include "protocol/buffer_descriptor.h"
#include "protocol/hello_record.h"
#include "protocol/message_codes.h"
#include "protocol/running_data.h"
#include "protocol/scan_request.h"
#include "protocol/scan_results.h"
#include "protocol/session_records.h"
#include "protocol/slot_records.h"
#include "server/final_status.h"

namespace sondrel::server {
namespace {

std::atomic<uint64_t> gNextConversationId{1};

// The leading numbers of a version text such as "1.4" or "0.103.11-2": major and minor.
std::optional<std::pair<unsigned, unsigned>> MajorMinor(std::string_view text) {
  unsigned major = 0;
  unsigned minor = 0;
  const char* end = text.data() + text.size();
  auto [afterMajor, majorError] = std::from_chars(text.data(), end, major);
  if (majorError != std::errc()) {
    return std::nullopt;
  }
  if (afterMajor != end && *afterMajor == '.') {
    auto [afterMinor, minorError] = std::from_chars(afterMajor + 1, end, minor);
    if (minorError != std::errc()) {
      minor = 0;
    }
  }
  return std::make_pair(major, minor);
}

uint32_t EngineFlags(const std::string& expected, const std::string& announced) {
  const auto wanted = MajorMinor(expected);
  if (!wanted) {
    return 0;
  }
  const auto has = MajorMinor(announced);
  if (!has || has->first != wanted->first) {
    return hello::kEngineMajorMismatch;
  }
  return has->second != wanted->second ? hello::kEngineMinorMismatch : 0;
}

// The longest part of a name that goes into a log line.
constexpr size_t kLoggedNameLength = 1024;

ConversationRoute RouteOf(const ReceivedMessage& message) {
  return {message.requestSeq(), message.channelIndex(), message.conversationId()};
}

}  // namespace

SessionHandler::SessionHandler(ServerContext& context, std::weak_ptr<MessageSink> sink,
                               std::string peer)
    : context_(context),
      sink_(std::move(sink)),
      peer_(std::move(peer)),
      slots_(context.options.slotCapacity,
             std::chrono::duration_cast<Clock::duration>(
                 std::chrono::duration<double>(context.options.slotExpiry))) {}

SessionHandler::Verdict SessionHandler::OnRecord(const CommMessagePtr& record) {
  if (record == nullptr) {
    return Verdict::Continue;
  }
  const ReceivedMessage message(*record);
  const uint32_t kind = message.messageKind();
  switch (message.messageType()) {
    case MessageType::Hello:
      OnHello(message);
      return Verdict::Continue;
    case MessageType::Ping:
      OnPing(message);
      return Verdict::Continue;
    case MessageType::ClientGetRunningServerData:
      OnRunningData(message);
      return Verdict::Continue;
    case MessageType::ScanRequest:
      if (kind == MessageKind::Request) {
        OnScanRequest(record, message);
        return Verdict::Continue;
      }
      break;
    case MessageType::ReadAnswer:
      return OnReadAnswer(record, message);
    case MessageType::AllocateSlot:
    case MessageType::FreeSlot:
    case MessageType::KeepSlot:
      OnSlotMessage(message);
      return Verdict::Continue;
    case MessageType::ErrorReply:
      if (kind == MessageKind::ErrorAnswer) {
        OnErrorReply(message);
        return Verdict::Continue;
      }
      break;
    default:
      break;
  }
  if (MessageKind::ExpectsAnswer(kind)) {
    SendErrorAnswer(message, error_code::kNotDeliverable);
  }
  return Verdict::Continue;
}

void SessionHandler::OnHello(const ReceivedMessage& message) {
  const std::optional<hello::Hello> received = hello::ParseHello(message.payload());
  uint32_t flags = hello::kMajorVersionMismatch;
  if (received) {
    flags = 0;
    if (received->versionMajor != hello::kClientVersionMajor) {
      flags |= hello::kMajorVersionMismatch;
    }
    if (received->versionMinor != hello::kClientVersionMinor) {
      flags |= hello::kMinorVersionMismatch;
    }
    if (!context_.options.expectedEngineVersion.empty()) {
      flags |= EngineFlags(context_.options.expectedEngineVersion, received->engineVersion);
    }
    if (received->timestamp) {
      RememberStamp(*received->timestamp);
    }
    SERVER_DEBUG("hello from " << peer_ << ": host " << received->hostName.substr(0, 254)
                               << ", version " << received->versionMajor << "."
                               << received->versionMinor << ", flags " << flags);
  } else {
    SERVER_WARN("refused " << peer_ << ": a hello without the hello record");
  }
  const std::vector<uint8_t> answer =
      hello::MakeAnswer(flags, received ? received->timestamp : std::nullopt);
  SendMessage(MessageType::Hello, MessageKind::FinalAnswer, RouteOf(message), answer);
  if ((flags & hello::kMajorVersionMismatch) != 0) {
    if (auto sink = sink_.lock()) {
      sink->CloseAfterWrites();
    }
  }
}

void SessionHandler::RememberStamp(uint64_t timestamp) {
  std::lock_guard<std::mutex> lock(mutex_);
  stamp_ = Stamp{timestamp, Clock::now()};
}

void SessionHandler::OnPing(const ReceivedMessage& message) {
  const std::span<const uint8_t> payload = message.payload();
  if (const std::optional<uint64_t> timestamp = PingTimestamp(payload)) {
    RememberStamp(*timestamp);
  }
  // An empty answer would tell the client that pings are not echoed: an empty ping gets none.
  if (!payload.empty()) {
    SendMessage(MessageType::Ping, MessageKind::OneWay, RouteOf(message),
                payload.first(std::min(payload.size(), kPingPayloadSize)));
  }
}

void SessionHandler::OnLoadChanged() {
  if (context_.queue.LoadFlags() == lastFlags_.load()) {
    return;
  }
  uint64_t timestamp = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stamp_ || closed_) {
      return;
    }
    // The client measures latency as its clock minus the echoed value: the last timestamp it
    // sent plus the time since it arrived keeps that the true round trip, whatever our clock says.
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - stamp_->received);
    timestamp = stamp_->timestamp + static_cast<uint64_t>(elapsed.count());
  }
  SendMessage(MessageType::Ping, MessageKind::OneWay, ConversationRoute{}, MakePing(timestamp));
}

void SessionHandler::OnRunningData(const ReceivedMessage& message) {
  const auto record =
      running_data::MakeRecord({context_.runningId, kServerVersionMajor, kServerVersionMinor});
  SendMessage(MessageType::ClientGetRunningServerData, MessageKind::FinalAnswer, RouteOf(message),
              record);
}

void SessionHandler::OnScanRequest(const CommMessagePtr& record, const ReceivedMessage& message) {
  const Clock::time_point arrived = Clock::now();
  ConversationRoute route = RouteOf(message);
  route.conversationId = gNextConversationId++;
  const ScanRequestParse parsed = ParseScanRequest(message.payload());
  if (!parsed.request) {
    SERVER_DEBUG("bad scan request from " << peer_ << ": " << parsed.problem);
    AnswerAtOnce(route, nullptr, "", 0, final_status::kBadRequest, arrived);
    return;
  }
  const ReceivedScanRequest& request = *parsed.request;
  std::string name = request.NameText().substr(0, kLoggedNameLength);
  const uint64_t size = request.fileSize;
  if (request.initialOffset > size || request.initialBuffer.size() > size - request.initialOffset) {
    SERVER_DEBUG("bad scan request from " << peer_ << ": initial buffer beyond the file");
    AnswerAtOnce(route, &request, std::move(name), size, final_status::kBadRequest, arrived);
    return;
  }
  if (size > context_.options.maxFileSize) {
    AnswerAtOnce(route, &request, std::move(name), size, final_status::kTooLarge, arrived);
    return;
  }
  const bool cacheable = request.action == 0 && request.cacheUsable && request.fingerprintValid &&
                         (request.strongFingerprint || context_.options.cacheWeakFingerprints);
  if (cacheable) {
    const std::shared_ptr<const Engine> engine = context_.engines.Current();
    if (context_.cache.LookupClean({size, request.fingerprint}, engine->generation())) {
      ScanRecord logged;
      logged.client = peer_;
      logged.name = std::move(name);
      logged.size = size;
      logged.outcome = "cache-hit";
      logged.milliseconds =
          std::chrono::duration<double, std::milli>(Clock::now() - arrived).count();
      ScanFinished(route, std::move(logged));
      SendMessage(MessageType::ServerCacheAnswer, MessageKind::FinalAnswer, route,
                  MakeServerCacheAnswer(request.profileValue));
      return;
    }
  }
  const double scanSeconds =
      message.answerTimeoutMs() > 0
          ? std::min(context_.options.scanTimeout, message.answerTimeoutMs() / 1000.0)
          : context_.options.scanTimeout;
  // Answer a little before the client stops waiting, so that the answer still finds it.
  const double margin = std::min(1.0, scanSeconds / 10);
  const Clock::time_point deadline =
      arrived + std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(scanSeconds - margin));
  auto job = std::make_shared<ScanJob>(context_, shared_from_this(), route, record, request,
                                       arrived, deadline);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || jobs_.size() >= context_.options.connectionScans) {
      job.reset();
    } else {
      jobs_.emplace(route.conversationId, job);
    }
  }
  if (job == nullptr || !context_.queue.Submit([job] { job->Run(); })) {
    if (job != nullptr) {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.erase(route.conversationId);
    }
    AnswerAtOnce(route, &request, std::move(name), size, final_status::kBusy, arrived);
  }
}

void SessionHandler::AnswerAtOnce(const ConversationRoute& route,
                                  const ReceivedScanRequest* request, std::string name,
                                  uint64_t size, int32_t status, Clock::time_point arrived) {
  const auto answer = MakeFinalAnswer(status, request ? request->sentResultBlock : ResultBlock{},
                                      request ? request->profileValue : 0, 0);
  ScanRecord logged;
  logged.client = peer_;
  logged.name = std::move(name);
  logged.size = size;
  logged.finalStatus = status;
  logged.outcome = final_status::OutcomeOf(status);
  logged.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - arrived).count();
  ScanFinished(route, std::move(logged));
  SendMessage(MessageType::ScanFinished, MessageKind::FinalAnswer, route, answer);
}

std::shared_ptr<ScanJob> SessionHandler::FindJob(const ReceivedMessage& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = jobs_.find(message.conversationId());
  if (found == jobs_.end() || found->second->route().channelIndex != message.channelIndex()) {
    return nullptr;
  }
  return found->second;
}

SessionHandler::Verdict SessionHandler::OnReadAnswer(const CommMessagePtr& record,
                                                     const ReceivedMessage& message) {
  const uint32_t kind = message.messageKind();
  const std::shared_ptr<ScanJob> job = FindJob(message);
  if (job == nullptr) {
    if (MessageKind::ExpectsAnswer(kind)) {
      SendErrorAnswer(message, error_code::kNotDeliverable);
    }
    return Verdict::Continue;
  }
  if (kind != MessageKind::ConversationRequest && kind != MessageKind::OneWay) {
    job->Cancel(final_status::kProtocolViolation, "a read answer of kind " + std::to_string(kind));
    return Verdict::Continue;
  }
  const std::span<const uint8_t> payload = message.payload();
  const std::optional<ReadAnswerPiece> piece = ParseReadAnswer(payload);
  if (!piece) {
    job->Cancel(final_status::kProtocolViolation, "a read answer that does not hold together");
    return Verdict::Close;
  }
  if (payload.size() != BufferDescriptor::kSize + piece->data.size()) {
    job->Cancel(final_status::kProtocolViolation, "a read answer with bytes after its data");
    return Verdict::Continue;
  }
  job->OnPiece(kind == MessageKind::ConversationRequest, *piece, record);
  return Verdict::Continue;
}

void SessionHandler::OnSlotMessage(const ReceivedMessage& message) {
  const std::span<const uint8_t> payload = message.payload();
  std::lock_guard<std::mutex> lock(mutex_);
  if (message.messageType() == MessageType::AllocateSlot) {
    const std::optional<bool> force = ParseAllocation(payload);
    if (!force) {
      SendErrorAnswer(message, error_code::kBadSlotRequest);
      return;
    }
    const std::optional<SlotTable::SlotId> slot = slots_.Grant(*force, Clock::now());
    if (!slot) {
      SendErrorAnswer(message, error_code::kNoSlotAvailable);
      return;
    }
    SendMessage(MessageType::AllocateSlot, MessageKind::FinalAnswer, RouteOf(message),
                SlotPayload(*slot));
    return;
  }
  const std::optional<SlotBytes> slot = ParseSlotPayload(payload);
  if (!slot) {
    return;
  }
  if (message.messageType() == MessageType::FreeSlot) {
    slots_.Free(*slot);
  } else {
    slots_.Keep(*slot);
  }
}

void SessionHandler::OnErrorReply(const ReceivedMessage& message) {
  if (const std::shared_ptr<ScanJob> job = FindJob(message)) {
    const std::optional<uint32_t> code = ErrorCodeOf(message.payload());
    job->Cancel(final_status::kAbandoned,
                "the client refused a message of the scan (" +
                    (code ? std::to_string(*code) : std::string("no code")) + ")");
  }
}

void SessionHandler::SendErrorAnswer(const ReceivedMessage& message, uint32_t code) {
  SendMessage(MessageType::ErrorReply, MessageKind::ErrorAnswer, RouteOf(message),
              MakeErrorCode(code));
}

void SessionHandler::SendMessage(uint32_t type, uint32_t kind, const ConversationRoute& route,
                                 std::span<const uint8_t> payload, int32_t answerTimeoutMs) {
  const std::shared_ptr<MessageSink> sink = sink_.lock();
  if (sink == nullptr) {
    return;
  }
  OutgoingHeader header;
  header.requestSeq = route.requestSeq;
  header.channelIndex = route.channelIndex;
  header.conversationId = route.conversationId;
  header.messageType = type;
  header.messageKind = kind;
  header.answerTimeoutMs = answerTimeoutMs;
  header.serverStatus = context_.queue.LoadFlags();
  lastFlags_.store(header.serverStatus);
  sink->Send(header, payload);
}

void SessionHandler::ScanFinished(const ConversationRoute& route, ScanRecord record) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.erase(route.conversationId);
  }
  SERVER_INFO(FormatScanRecord(record));
  context_.metrics.CountScan(record.outcome, record.milliseconds / 1000, record.pulled,
                             record.reads);
}

void SessionHandler::OnClosed() {
  std::map<uint64_t, std::shared_ptr<ScanJob>> jobs;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    jobs.swap(jobs_);
  }
  for (const auto& [id, job] : jobs) {
    job->Cancel(final_status::kAbandoned, "the connection closed");
  }
}

size_t SessionHandler::scansInFlight() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return jobs_.size();
}

}  // namespace sondrel::server
