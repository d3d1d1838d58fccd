#include "scan/scan_conversation.h"

#include <optional>
#include <string>

#include "comm/i_sock_comm_client.h"
#include "config/settings_store.h"
#include "logging/log.h"
#include "protocol/hello_record.h"
#include "protocol/message_codes.h"
#include "protocol/received_message.h"
#include "protocol/scan_results.h"
#include "scan/cache_exclusions.h"
#include "scan/conversation_requests.h"
#include "scan/local_response_cache.h"
#include "scan/scan_context.h"

namespace sondrel {
namespace {

// Hello answer flags that recommend a product or a signature update.
constexpr uint32_t kProductUpdateFlags =
    hello::kMajorVersionMismatch | hello::kMinorVersionMismatch;
constexpr uint32_t kSignatureUpdateFlags =
    hello::kEngineMajorMismatch | hello::kEngineMinorMismatch;

// The verdict of a clean file, the only one the local cache keeps.
constexpr int32_t kCleanVerdict = 1;

void HandleHelloFlags(std::span<const uint8_t> payload, const LoggerPtr& logger) {
  const uint32_t flags = hello::AnswerFlags(payload);
  if ((flags & hello::kMajorVersionMismatch) != 0) {
    LOG_WARN(logger, "Major version mismatch. Server will not serve this client");
  }
  const bool product = (flags & kProductUpdateFlags) != 0;
  const bool signatures = (flags & kSignatureUpdateFlags) != 0;
  if (product || signatures) {
    LOG_INFO(logger, "Product update recommended! Prod:" << (product ? 1 : 0)
                                                         << " Sig:" << (signatures ? 1 : 0));
  }
}

void TakeDetectionReport(std::span<const uint8_t> payload, ScanContext& context,
                         const LoggerPtr& logger) {
  const std::optional<DetectionReport> report = ParseDetectionReport(payload);
  if (!report) {
    return;
  }
  context.verdict = static_cast<int32_t>(report->verdict);
  context.threatName = report->threatName;
  context.outByte = report->outByte != 0;
  if (report->detection()) {
    context.detected = true;
    LOG_INFO(logger, "Virus detected! " << context.threatName << " File: " << report->fileName
                                        << " Action:" << context.action);
  }
}

// "<what>file <name> server:<host> usessl<0|1> load: <load>", or without the server when the
// channel is not bound any more.
void LogCompletion(const char* what, const ReceivedMessage& message, const ScanContext& context,
                   const ConversationServices& services) {
  char* host = nullptr;
  bool tls = false;
  if (services.commClient->GetChannelServer(message.channelIndex(), &host, &tls)) {
    LOG_DEBUG(services.logger, what << context.displayName << "> server:<"
                                    << (host != nullptr ? host : "") << "> usessl<" << (tls ? 1 : 0)
                                    << "> load: " << message.serverStatus());
    services.commClient->FreeBuffer(&host);
  } else {
    LOG_DEBUG(services.logger,
              what << context.displayName << "> server load: " << message.serverStatus());
  }
}

// Stores the request's fingerprint with `cacheValue` in the local cache, keyed by the file's
// size as the host reports it now.
void StoreInLocalCache(ScanContext& context, const ConversationServices& services,
                       uint32_t cacheValue) {
  const std::optional<uint64_t> size = context.fileReader.GetSize();
  if (!size || context.hashCopy.empty()) {
    return;
  }
  services.localCache->Store(*size, context.hashCopy, cacheValue);
}

void TakeFinalAnswer(const ReceivedMessage& message, ScanContext& context,
                     const ConversationServices& services) {
  const FinalAnswer answer = ParseFinalAnswer(message.payload());
  context.finalStatus = answer.finalStatus;
  if (answer.hasResultBlock) {
    context.receivedResultBlock.words = answer.resultBlock;
  } else {
    context.receivedResultBlock.words[0] = 0;
  }
  context.cacheValue = answer.cacheValue;
  context.storeBlocking = answer.storeBlocking;
  LogCompletion("Scan completed: file <", message, context, services);

  const bool storable = !context.detected && context.verdict == kCleanVerdict &&
                        services.localCache != nullptr && context.useLocalCache &&
                        context.action == 0 && context.finalStatus == 0 &&
                        context.storeBlocking == 0;
  if (storable && answer.hasResultBlock) {
    StoreInLocalCache(context, services, context.cacheValue);
  }
}

void TakeServerCacheAnswer(const ReceivedMessage& message, ScanContext& context,
                           const ConversationServices& services) {
  context.verdict = kCleanVerdict;
  context.threatName.clear();
  context.foundInCache = true;
  context.finalStatus = 0;
  context.receivedResultBlock = context.sentResultBlock;
  LogCompletion("File found in server cache: file <", message, context, services);
  const std::optional<uint32_t> cacheValue = ParseServerCacheAnswer(message.payload());
  if (services.localCache != nullptr && context.useLocalCache && cacheValue) {
    StoreInLocalCache(context, services, *cacheValue);
  }
}

void ForwardData(std::span<const uint8_t> payload, const ScanContext& context) {
  const std::optional<std::span<const uint8_t>> data = ParseDataNotification(payload);
  const HostCallbacks* callbacks = context.callbacks;
  if (data && callbacks != nullptr && callbacks->dataNotify != nullptr) {
    callbacks->dataNotify(data->data(), static_cast<uint32_t>(data->size()), callbacks->user);
  }
}

void TakeDisinfectFlags(std::span<const uint8_t> payload, ScanContext& context,
                        const LoggerPtr& logger) {
  const std::optional<int32_t> flags = ParseDisinfectFlags(payload);
  if (!flags) {
    return;
  }
  context.disinfectFlags = *flags;
  LOG_INFO(logger, "Disinfect flags received: " << *flags);
}

}  // namespace

void HandleConversationMessage(const CommMessagePtr& record, ScanContext* context,
                               const ConversationServices& services) {
  if (record == nullptr) {
    return;
  }
  const ReceivedMessage message(*record);
  const uint32_t kind = message.messageKind();
  if (kind != MessageKind::FinalAnswer && kind != MessageKind::ConversationRequest &&
      kind != MessageKind::OneWay) {
    return;
  }
  const uint32_t type = message.messageType();
  if (type == MessageType::Hello) {
    HandleHelloFlags(message.payload(), services.logger);
    return;
  }
  if (context == nullptr) {
    return;
  }
  const ScanOptions options = services.settings->GetScanOptions();
  const ConversationReply reply{*services.commClient, *context, message.channelIndex(),
                                options.timeout};
  const bool request = kind == MessageKind::ConversationRequest;
  switch (type) {
    case MessageType::ReadRequest:
      if (request) {
        ServeReadRequest(reply, message.payload(), services.logger);
      }
      break;
    case MessageType::DetectionReport:
      if (kind == MessageKind::OneWay) {
        TakeDetectionReport(message.payload(), *context, services.logger);
      }
      break;
    case MessageType::ScanFinished:
      if (kind == MessageKind::FinalAnswer) {
        TakeFinalAnswer(message, *context, services);
      }
      break;
    case MessageType::DataNotification:
      if (kind == MessageKind::OneWay) {
        ForwardData(message.payload(), *context);
      }
      break;
    case MessageType::ServerCacheAnswer:
      TakeServerCacheAnswer(message, *context, services);
      break;
    case MessageType::WriteRequest:
      if (request) {
        ServeWriteRequest(reply, message.payload());
      }
      break;
    case MessageType::ValueRequest:
      if (request) {
        ServeValueRequest(reply, message.payload());
      }
      break;
    case MessageType::CallbackRequest:
      ServeCallbackRequest(reply, message.payload(), *services.cacheExclusions, services.logger);
      break;
    case MessageType::DisinfectFlags:
      TakeDisinfectFlags(message.payload(), *context, services.logger);
      break;
    default:
      break;
  }
}

}  // namespace sondrel
