// Feeds arbitrary client records to the scan server's session handler as its connection hands
// them over, without a socket: hellos, pings, running-server data and slot requests, scan
// requests that the real engine scans on a worker, read answers for them and error replies. A
// read answer or error reply whose conversation id is 0 is given the conversation id of the last
// read request the server sent, so that the input can answer it. The input is a sequence of
// records, each preceded by its length as 2 bytes, little-endian.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>

#include "protocol/frame_layout.h"
#include "protocol/little_endian.h"
#include "protocol/message_codes.h"
#include "record_input.h"
#include "server/engine_holder.h"
#include "server/message_sink.h"
#include "server/metrics.h"
#include "server/scan_queue.h"
#include "server/server_cache.h"
#include "server/server_context.h"
#include "server/server_log.h"
#include "server/session_handler.h"

namespace {

using namespace sondrel;
using namespace sondrel::server;

// Keeps what the session sends: the last read request's conversation id, and whether the scan
// of the last request has answered or asked for bytes.
class RecordingSink : public MessageSink {
 public:
  void Send(const OutgoingHeader& header, std::span<const uint8_t>) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (header.messageType == MessageType::ReadRequest) {
      lastRead_ = header.conversationId;
    }
    ++sent_;
    changed_.notify_all();
  }
  void CloseAfterWrites() override {}

  uint64_t lastRead() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastRead_;
  }
  // Waits a little for the session to send something after a scan request.
  void WaitForMore(uint64_t seen) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(20), [&] { return sent_ > seen; });
  }
  uint64_t sent() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t lastRead_ = 0;
  uint64_t sent_ = 0;
};

// What the inputs share: the engine is loaded once. Each input has its own scan queue and worker,
// which ends with the input (and with it whatever OpenSSL keeps for the thread).
struct Server {
  Server() : engines({SONDREL_SERVER_SIGNATURES}, {}), cache(64) {
    SetLogLevel(LogLevel::Error);
    options.scanTimeout = 1;
    options.fetchBlock = 4096;
    options.readAhead = 2;
    options.maxFileSize = 1u << 20;
    options.slotCapacity = 4;
    std::string error;
    engines.Load(error);
  }
  ServerOptions options;
  EngineHolder engines;
  LruServerCache cache;
  Metrics metrics;
};

Server& TheServer() {
  static Server server;
  return server;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  TheServer();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Server& server = TheServer();
  ScanQueue queue(1, 8);
  queue.Start();
  ServerContext context{server.options, server.engines, server.cache, queue, server.metrics};
  auto sink = std::make_shared<RecordingSink>();
  auto session = std::make_shared<SessionHandler>(context, sink, "fuzz:0");
  fuzz::ForEachRecord(data, size, [&](CommMessagePtr record) {
    const bool hasHeader = record->size() >= frame::kMessageHeaderSize;
    const uint32_t type =
        hasHeader ? LoadLittleEndian<uint32_t>(record->data() + frame::kMessageType) : 0;
    if (hasHeader && (type == MessageType::ReadAnswer || type == MessageType::ErrorReply) &&
        LoadLittleEndian<uint64_t>(record->data() + frame::kConversationId) == 0) {
      StoreLittleEndian<uint64_t>(record->data() + frame::kConversationId, sink->lastRead());
    }
    const uint64_t seen = sink->sent();
    session->OnRecord(record);
    if (type == MessageType::ScanRequest) {
      sink->WaitForMore(seen);
    }
  });
  session->OnClosed();
  queue.Stop();
  return 0;
}
