#include "scan/conversation_requests.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "logging/log.h"
#include "protocol/buffer_descriptor.h"
#include "protocol/host_requests.h"
#include "protocol/message_codes.h"
#include "scan/cache_exclusions.h"

namespace sondrel {
namespace {

// The status of a reply to a request that did not arrive whole: the host is not asked.
constexpr int32_t kInvalidRequest = 13;
// The status of a read answer for which no buffer could be had.
constexpr int32_t kOutOfMemory = 8;
// The largest answer a callback may be given room for.
constexpr uint32_t kMaxCallbackCapacity = 1024 * 1024;

uint64_t AddressOf(const void* data) {
  return reinterpret_cast<uintptr_t>(data);
}

// A read answer without data.
void SendEmptyReadAnswer(const ConversationReply& reply, const BufferDescriptor& request,
                         int32_t status) {
  uint8_t record[BufferDescriptor::kSize];
  BufferDescriptor{
      .offset = request.offset, .requestedCount = request.requestedCount, .status = status}
      .WriteTo(record);
  reply.SendRecord(MessageType::ReadAnswer, MessageKind::ConversationRequest, record,
                   sizeof(record));
}

// One piece of a read answer: a payload buffer holding a descriptor and the data read into it.
struct Piece {
  uint8_t* buffer = nullptr;
  uint64_t offset = 0;
  uint32_t length = 0;
};

class ReadAnswer {
 public:
  ReadAnswer(const ConversationReply& reply, const BufferDescriptor& request,
             const LoggerPtr& logger)
      : reply_(reply), request_(request), logger_(logger) {}

  // Reads the range in pieces of at most 1 MiB, each straight into the buffer it is sent in. A
  // full piece is sent as soon as the next read has delivered something, so that the last piece
  // is the one that carries the read's status; at most two pieces are held at any time.
  void Serve() {
    uint64_t offset = request_.offset;
    uint32_t remaining = request_.requestedCount;
    int32_t status = 0;
    std::optional<Piece> held;
    while (true) {
      const uint32_t count = std::min(remaining, kMaxFilePiece);
      uint8_t* buffer = reply_.AllocateFilled(count + BufferDescriptor::kSize);
      if (buffer == nullptr) {
        status = kOutOfMemory;
        break;
      }
      const auto [result, read] = Read(buffer + BufferDescriptor::kSize, offset, count);
      status = result;
      if (held && read > 0) {
        Send(*held, MessageKind::OneWay, kMorePiecesFollow);
        held.reset();
      }
      if (held) {
        reply_.client.FreePayload(buffer);
      } else {
        held = Piece{buffer, offset, read};
      }
      offset += read;
      remaining -= read;
      if (result != 0 || read < count || remaining == 0) {
        break;
      }
    }
    if (held) {
      Send(*held, MessageKind::ConversationRequest, status);
    } else {
      SendEmptyReadAnswer(reply_, request_, status);
    }
  }

 private:
  struct ReadResult {
    int32_t result;
    uint32_t read;
  };

  ReadResult Read(uint8_t* data, uint64_t offset, uint32_t count) {
    const HostCallbacks* callbacks = reply_.context.callbacks;
    if (callbacks == nullptr || callbacks->read == nullptr) {
      return {kInvalidRequest, 0};
    }
    const HostFileRange range{offset, count};
    uint32_t read = 0;
    const int32_t result = callbacks->read(data, &range, &read, callbacks->user);
    if (result != 0) {
      LOG_ERROR(logger_, "Error reading buffer of " << count << " bytes at the offset "
                                                    << static_cast<uint32_t>(offset >> 32) << ","
                                                    << static_cast<uint32_t>(offset));
    }
    return {result, std::min(read, count)};
  }

  void Send(const Piece& piece, uint32_t kind, int32_t status) {
    uint8_t* data = piece.buffer + BufferDescriptor::kSize;
    BufferDescriptor{.offset = piece.offset,
                     .requestedCount = request_.requestedCount,
                     .dataAddress = AddressOf(data),
                     .dataLength = piece.length,
                     .status = status}
        .WriteTo(piece.buffer);
    reply_.SendBuffer(MessageType::ReadAnswer, kind, piece.buffer,
                      piece.length + BufferDescriptor::kSize);
  }

  const ConversationReply& reply_;
  const BufferDescriptor request_;
  const LoggerPtr& logger_;
};

void LogScanFromAmList(const ScanFromAmList& list, CacheExclusions& exclusions,
                       const LoggerPtr& logger) {
  LOG_DEBUG(logger, "CBK_ID_SCAN_FROM_AM: " << list.value);
  LOG_DEBUG(logger, "cbk_am_scan: " << list.words[0] << "\t" << list.words[1] << "\t"
                                    << list.words[2] << "\t" << list.words[3]);
  for (const std::string& path : list.paths) {
    exclusions.Add(path);
    LOG_DEBUG(logger, "cbk_am_scan: " << path);
  }
}

// Calls the host's callback handler with the request's data in a buffer of the requested
// capacity; its result is the length of the answer it wrote there.
uint32_t AskHost(const ConversationReply& reply, const CallbackRequest& request, uint8_t* buffer) {
  const HostCallbacks* callbacks = reply.context.callbacks;
  if (buffer == nullptr || callbacks == nullptr || callbacks->callback == nullptr) {
    return 0;
  }
  std::memcpy(buffer, request.data.data(), request.data.size());
  const int32_t answer =
      callbacks->callback(AddressOf(buffer), static_cast<uint32_t>(request.data.size()),
                          request.capacity, callbacks->user);
  return static_cast<uint32_t>(std::clamp<int64_t>(answer, 0, request.capacity));
}

}  // namespace

void ServeReadRequest(const ConversationReply& reply, std::span<const uint8_t> payload,
                      const LoggerPtr& logger) {
  const std::optional<BufferDescriptor> request = ParseReadRequest(payload);
  if (!request) {
    SendEmptyReadAnswer(reply, BufferDescriptor{}, kInvalidRequest);
    return;
  }
  ReadAnswer(reply, *request, logger).Serve();
}

void ServeWriteRequest(const ConversationReply& reply, std::span<const uint8_t> payload) {
  const std::optional<WriteRequest> request = ParseWriteRequest(payload);
  BufferDescriptor answer;
  const HostCallbacks* callbacks = reply.context.callbacks;
  if (!request || callbacks == nullptr || callbacks->write == nullptr) {
    answer.status = kInvalidRequest;
  } else {
    answer.offset = request->descriptor.offset;
    const HostFileRange range{request->descriptor.offset, request->descriptor.dataLength};
    uint32_t written = 0;
    answer.status = callbacks->write(request->data.data(), &range, &written, callbacks->user);
    answer.requestedCount = written;
  }
  uint8_t record[BufferDescriptor::kSize];
  answer.WriteTo(record);
  reply.SendRecord(MessageType::WriteAnswer, MessageKind::ConversationRequest, record,
                   sizeof(record));
}

void ServeValueRequest(const ConversationReply& reply, std::span<const uint8_t> payload) {
  const std::optional<ValueRequest> request = ParseValueRequest(payload);
  const HostCallbacks* callbacks = reply.context.callbacks;
  int32_t result = kInvalidRequest;
  if (request && callbacks != nullptr && callbacks->value != nullptr) {
    result = callbacks->value(request->low, request->high, callbacks->user);
  }
  std::array<uint8_t, kValueAnswerSize> record = MakeValueAnswer(result);
  reply.SendRecord(MessageType::ValueRequest, MessageKind::ConversationRequest, record.data(),
                   record.size());
}

void ServeCallbackRequest(const ConversationReply& reply, std::span<const uint8_t> payload,
                          CacheExclusions& exclusions, const LoggerPtr& logger) {
  const std::optional<CallbackRequest> request = ParseCallbackRequest(payload);
  const uint32_t capacity = request ? request->capacity : 0;
  std::unique_ptr<uint8_t, decltype(&std::free)> buffer(nullptr, &std::free);
  uint32_t answerLength = 0;
  if (request && capacity > kMaxCallbackCapacity) {
    LOG_WARN(logger, "Callback request refused: capacity " << capacity << " is above "
                                                           << kMaxCallbackCapacity);
  } else if (request && capacity != 0 && capacity >= request->data.size()) {
    if (const std::optional<ScanFromAmList> list = ParseScanFromAmList(request->data)) {
      LogScanFromAmList(*list, exclusions, logger);
    }
    // Zeroed, so that an answer the host claims longer than what it wrote carries no stale memory.
    buffer.reset(static_cast<uint8_t*>(std::calloc(capacity, 1)));
    answerLength = AskHost(reply, *request, buffer.get());
  }
  uint8_t* answer = reply.Allocate(CallbackRequest::kFixedSize + answerLength);
  if (answer == nullptr) {
    return;
  }
  WriteCallbackHeader(answer, AddressOf(buffer.get()), answerLength, capacity);
  if (answerLength > 0) {
    std::memcpy(answer + CallbackRequest::kFixedSize, buffer.get(), answerLength);
  }
  reply.SendBuffer(MessageType::CallbackRequest, MessageKind::ConversationRequest, answer,
                   CallbackRequest::kFixedSize + answerLength);
}

}  // namespace sondrel
