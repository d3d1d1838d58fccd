#include "server/scan_job.h"

#include <utility>

#include "protocol/message_codes.h"
#include "protocol/scan_results.h"
#include "server/final_status.h"
#include "server/server_log.h"
#include "server/session_handler.h"

namespace sondrel::server {

ScanJob::ScanJob(ServerContext& context, std::shared_ptr<SessionHandler> session,
                 ConversationRoute route, CommMessagePtr record, const ReceivedScanRequest& request,
                 Clock::time_point arrived, Clock::time_point deadline)
    : context_(context),
      session_(std::move(session)),
      route_(route),
      record_(std::move(record)),
      request_(request),
      arrived_(arrived),
      deadline_(deadline),
      fetcher_(request.fileSize, request.initialOffset, request.initialBuffer,
               FetchSettings{context.options.fetchBlock, context.options.readAhead}, deadline,
               [this](uint64_t offset, uint32_t count, std::chrono::milliseconds wait) {
                 SendReadRequest(offset, count, wait);
               }) {}

void ScanJob::SendReadRequest(uint64_t offset, uint32_t count, std::chrono::milliseconds wait) {
  const auto request = MakeReadRequest(offset, count);
  session_->SendMessage(MessageType::ReadRequest, MessageKind::ConversationRequest, route_, request,
                        static_cast<int32_t>(std::min<int64_t>(wait.count(), INT32_MAX)));
}

int64_t ScanJob::Read(void* buffer, size_t count, uint64_t offset) {
  return fetcher_.Read(buffer, count, offset);
}

FileFetcher::PieceCheck ScanJob::OnPiece(bool final, const ReadAnswerPiece& piece,
                                         const CommMessagePtr& record) {
  return fetcher_.OnPiece(final, piece.descriptor.offset, piece.descriptor.requestedCount,
                          piece.descriptor.status, piece.data, record);
}

void ScanJob::Cancel(int32_t status, const std::string& reason) {
  fetcher_.Fail(status, reason);
}

bool ScanJob::MayStore() const {
  return request_.action == 0 && request_.fingerprintValid &&
         (request_.strongFingerprint || context_.options.cacheWeakFingerprints);
}

bool ScanJob::MayAnswerFromCache() const {
  return MayStore() && request_.cacheUsable;
}

bool ScanJob::AnsweredFromSharedCache(const Engine& engine) {
  if (context_.sharedCache == nullptr || !MayAnswerFromCache()) {
    return false;
  }
  const CacheKey key{request_.fileSize, request_.fingerprint};
  if (!context_.sharedCache->LookupClean(key, engine.databaseVersion())) {
    return false;
  }
  context_.cache.StoreClean(key, engine.generation());
  ScanRecord record;
  record.client = session_->peer();
  record.name = request_.NameText();
  record.size = request_.fileSize;
  record.outcome = "shared-cache-hit";
  record.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - arrived_).count();
  session_->ScanFinished(route_, std::move(record));
  session_->SendMessage(MessageType::ServerCacheAnswer, MessageKind::FinalAnswer, route_,
                        MakeServerCacheAnswer(request_.profileValue));
  return true;
}

void ScanJob::Run() {
  ScanRecord record;
  record.client = session_->peer();
  record.name = request_.NameText();
  record.size = request_.fileSize;
  const bool disinfection = request_.action != 0;
  std::string detail;
  if (Clock::now() >= deadline_) {
    fetcher_.Fail(final_status::kTimedOut, "the scan waited past its deadline");
  }
  if (fetcher_.failed()) {
    record.finalStatus = fetcher_.failureStatus();
    detail = fetcher_.failureReason();
  } else {
    const std::shared_ptr<const Engine> engine = context_.engines.Current();
    if (AnsweredFromSharedCache(*engine)) {
      return;
    }
    const EngineResult result = engine->Scan(*this, request_.fileSize, record.name);
    if (fetcher_.failed()) {
      record.finalStatus = fetcher_.failureStatus();
      detail = fetcher_.failureReason();
    } else {
      switch (result.kind) {
        case EngineResult::Kind::Infected: {
          DetectionReport report;
          report.verdict = DetectionReport::kInfected;
          report.objectName = record.name;
          report.fileName = record.name;
          report.threatName = result.threat;
          session_->SendMessage(MessageType::DetectionReport, MessageKind::OneWay, route_,
                                MakeDetectionReport(report));
          record.threat = result.threat;
          record.finalStatus =
              disinfection ? final_status::kNotDisinfected : final_status::kScanned;
          record.outcome = "infected";
          break;
        }
        case EngineResult::Kind::Clean:
          record.finalStatus = final_status::kScanned;
          record.outcome = "clean";
          if (MayStore()) {
            const CacheKey key{request_.fileSize, request_.fingerprint};
            context_.cache.StoreClean(key, engine->generation());
            if (context_.sharedCache != nullptr) {
              context_.sharedCache->StoreClean(key, engine->databaseVersion());
            }
          }
          break;
        case EngineResult::Kind::LimitsExceeded:
          record.finalStatus = final_status::kLimitsExceeded;
          detail = result.threat;
          break;
        case EngineResult::Kind::Error:
          record.finalStatus = final_status::kEngineError;
          detail = result.error;
          break;
      }
    }
  }
  if (record.outcome.empty()) {
    record.outcome = final_status::OutcomeOf(record.finalStatus);
  }
  if (!detail.empty()) {
    SERVER_DEBUG("scan of " << record.name << " from " << record.client << ": " << detail);
  }
  const auto answer =
      MakeFinalAnswer(record.finalStatus, request_.sentResultBlock, request_.profileValue, 0);
  record.pulled = fetcher_.bytesPulled();
  record.reads = fetcher_.readRequests();
  record.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - arrived_).count();
  // Logged and counted before the answer goes out: once the client has it, the log has the line.
  session_->ScanFinished(route_, std::move(record));
  session_->SendMessage(MessageType::ScanFinished, MessageKind::FinalAnswer, route_, answer);
}

}  // namespace sondrel::server
