// One scan request from its arrival to its final answer: the engine scans the file on a worker
// thread while the file's bytes are pulled from the client over the connection, then the
// detection report (103) and the final answer (104) go back. A scan ends with a non-zero final
// status, never a clean answer, whenever it could not see the whole file.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "protocol/buffer_descriptor.h"
#include "protocol/comm_message.h"
#include "protocol/scan_request.h"
#include "server/engine.h"
#include "server/file_fetcher.h"
#include "server/server_context.h"

namespace sondrel::server {

class SessionHandler;

// Where the messages of one conversation go back: the request's channel and sequence, and the
// conversation id the server gave it.
struct ConversationRoute {
  uint32_t requestSeq = 0;
  int32_t channelIndex = 0;
  uint64_t conversationId = 0;
};

class ScanJob : public FileSource {
 public:
  using Clock = std::chrono::steady_clock;

  // `request` points into `record`, which the job keeps.
  ScanJob(ServerContext& context, std::shared_ptr<SessionHandler> session, ConversationRoute route,
          CommMessagePtr record, const ReceivedScanRequest& request, Clock::time_point arrived,
          Clock::time_point deadline);

  // Scans and answers; runs on a scan worker.
  void Run();
  // A piece of the client's answer to a read request, inside `record`, its received message.
  FileFetcher::PieceCheck OnPiece(bool final, const ReadAnswerPiece& piece,
                                  const CommMessagePtr& record);
  // Ends the scan with `status` (the connection is gone, the client refused a message).
  void Cancel(int32_t status, const std::string& reason);

  int64_t Read(void* buffer, size_t count, uint64_t offset) override;

  const ConversationRoute& route() const { return route_; }

 private:
  void SendReadRequest(uint64_t offset, uint32_t count, std::chrono::milliseconds wait);
  // Whether a clean result of this request may be kept, and a kept one answer it.
  bool MayStore() const;
  bool MayAnswerFromCache() const;
  // Answers from the shared cache when it knows the file clean under `engine`'s databases.
  bool AnsweredFromSharedCache(const Engine& engine);

  ServerContext& context_;
  const std::shared_ptr<SessionHandler> session_;
  const ConversationRoute route_;
  const CommMessagePtr record_;
  const ReceivedScanRequest request_;
  const Clock::time_point arrived_;
  const Clock::time_point deadline_;
  FileFetcher fetcher_;
};

}  // namespace sondrel::server
