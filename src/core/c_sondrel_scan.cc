// Scan and Disinfect, and the worker they share: whether a request may go remote, the local
// cache, the scan request and its send, and what the host gets back.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

#include "comm/i_sock_comm_client.h"
#include "comm/request_result.h"
#include "core/c_sondrel.h"
#include "logging/log.h"
#include "protocol/message_codes.h"
#include "protocol/scan_request.h"
#include "scan/fingerprint.h"
#include "scan/host_queries.h"
#include "scan/local_response_cache.h"
#include "scan/profile_value.h"

namespace sondrel {
namespace {

// Disinfection actions: the extended one when the host asks for it and the settings allow more
// than disinfection, plain disinfection otherwise.
constexpr int32_t kExtendedDisinfection = 3;
constexpr int32_t kDisinfection = 10;
constexpr size_t kDisinfectThreatNameSize = 1024;
// Send failures after which the servers count as down.
constexpr bool MarksServersDown(int32_t result) {
  return result == RequestResult::Stopping || result == RequestResult::NotInitialised ||
         result == RequestResult::NotSent;
}
// Seconds after the first Init during which send failures are not reported as servers down.
constexpr int64_t kGracePeriodSeconds = 2;

int64_t SecondsNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

const char* OrEmpty(const char* text) {
  return text != nullptr ? text : "";
}

// Resets the context for a new request.
void PrepareContext(ScanContext& context, const HostCallbacks* callbacks, const char* path,
                    const char* displayName, int32_t action, uint8_t cacheAllowed,
                    const ScanOptions& options) {
  context.callbacks = callbacks;
  context.verdict = 1;
  context.threatName.clear();
  context.action = action;
  context.useServerCache = cacheAllowed != 0 && options.useCache != 0;
  context.useLocalCache = cacheAllowed != 0 && options.useLocalCache != 0;
  context.outByte = false;
  FileReader& reader = context.fileReader;
  reader.callbacks = callbacks;
  reader.bytesBuffered = 0;
  reader.cacheTreshold = options.cacheTreshold;
  reader.hashNonPE = options.hashNonPE != 0;
  reader.hashSmallNonPE = options.hashSmallNonPE != 0;
  context.foundInCache = false;
  if (displayName != nullptr && *displayName != '\0') {
    context.displayName = displayName;
  } else {
    context.displayName = OrEmpty(path);
  }
  context.sentResultBlock.words[0] = 0;
  context.receivedResultBlock.words[0] = 0;
  context.finalStatus = 0;
  context.optionWordA = 0;
  context.optionWordB = 0;
  context.detected = false;
  context.hashCopy.clear();
}

// The initial buffer: the start of the file as the fingerprint left it when that is enough,
// otherwise read now into `own`.
std::span<const uint8_t> InitialBuffer(ScanContext& context, const ScanOptions& options,
                                       uint64_t fileSize, std::vector<uint8_t>& own,
                                       const LoggerPtr& logger) {
  const uint32_t wanted = static_cast<uint32_t>(std::max(options.initialBufferSize, 0));
  const FileReader& reader = context.fileReader;
  const bool wholeFileBuffered = reader.bytesBuffered == fileSize && fileSize < (1ull << 32);
  if (context.useServerCache && (reader.bytesBuffered >= wanted || wholeFileBuffered)) {
    return {reader.buffer.data(), std::min(wanted, reader.bytesBuffered)};
  }
  const HostCallbacks* callbacks = context.callbacks;
  if (callbacks->read == nullptr) {
    return {};
  }
  try {
    own.resize(wanted);
  } catch (const std::bad_alloc&) {
    return {};
  }
  const HostFileRange range{0, wanted};
  uint32_t read = 0;
  const int32_t result = callbacks->read(own.data(), &range, &read, callbacks->user);
  if (result != 0) {
    LOG_ERROR(logger, "Error reading buffer of " << wanted << " bytes at the offset 0,0");
  }
  own.resize(std::min(read, wanted));
  return own;
}

}  // namespace

int32_t CSondrel::Scan(const HostCallbacks* callbacks, ScanRequest* request, ScanContext* context) {
  const ScanOptions options = settings_.GetScanOptions();
  if (request == nullptr || context == nullptr) {
    return SONDREL_STATUS_NOT_SCANNED;
  }
  if (request->flags != nullptr) {
    if (!options.enableScan) {
      *request->flags |= SONDREL_FLAG_SCAN_DISABLED;
      return SONDREL_STATUS_SUCCESS;
    }
    if (options.scanLocalIfError) {
      *request->flags |= SONDREL_FLAG_SCAN_LOCALLY;
    }
  }
  const int32_t status = ScanInternal({.verdict = request->verdict,
                                       .threatName = request->threatName,
                                       .threatNameCapacity = request->threatNameCapacity,
                                       .callbacks = callbacks,
                                       .path = request->path,
                                       .displayName = request->displayName,
                                       .context = context,
                                       .action = 0,
                                       .cacheAllowed = request->cacheAllowed,
                                       .options = &options,
                                       .outByte = nullptr,
                                       .flags = request->flags});
  request->disinfectFlags = context->disinfectFlags;
  context->disinfectFlags = 0;
  return status;
}

int32_t CSondrel::Disinfect(const HostCallbacks* callbacks, const DisinfectRequest* request,
                            ScanContext* context) {
  const ScanOptions options = settings_.GetScanOptions();
  if (request == nullptr || context == nullptr) {
    return SONDREL_STATUS_NOT_SCANNED;
  }
  const bool extended = !options.disinfectOnly && request->flags != nullptr &&
                        (*request->flags & SONDREL_DISINFECT_FLAG_EXTENDED) != 0;
  int32_t verdict = 0;
  char threatName[kDisinfectThreatNameSize] = {};
  bool outByte = false;
  const int32_t status = ScanInternal({.verdict = &verdict,
                                       .threatName = threatName,
                                       .threatNameCapacity = sizeof(threatName),
                                       .callbacks = callbacks,
                                       .path = request->path,
                                       .displayName = request->displayName,
                                       .context = context,
                                       .action = extended ? kExtendedDisinfection : kDisinfection,
                                       .cacheAllowed = 0,
                                       .options = &options,
                                       .outByte = &outByte,
                                       .flags = nullptr});
  if (request->verdict != nullptr) {
    *request->verdict = verdict;
  }
  LOG_DEBUG(logger_, "CoreDisinfect flags" << verdict);
  if (request->flags != nullptr && (verdict & SONDREL_VERDICT_REBOOT_REQUIRED) != 0) {
    LOG_INFO(logger_, "CoreDisinfect reboot required");
    *request->flags |= SONDREL_DISINFECT_FLAG_REBOOT_REQUIRED;
  }
  return status;
}

int32_t CSondrel::ScanInternal(const ScanInternalRequest& request) {
  const ScanOptions& options = *request.options;
  if (!canScanRemote_) {
    LOG_INFO(logger_,
             "ScanInternal ignore new request, canScanRemote is false: " << OrEmpty(request.path));
    return SONDREL_STATUS_NOT_SCANNED;
  }
  if (request.flags != nullptr && options.scanLocalIfError && options.preferLocalToOverloaded &&
      connectionStatus_ == kServersOverloaded) {
    LOG_INFO(logger_,
             "ScanInternal ignore new request, server is overloaded and we will scan locally: "
                 << OrEmpty(request.path));
    *request.flags |= SONDREL_FLAG_SCAN_LOCALLY;
    return SONDREL_STATUS_NOT_SCANNED;
  }
  if (request.callbacks == nullptr || request.context == nullptr) {
    return SONDREL_STATUS_NOT_SCANNED;
  }
  ScanContext& context = *request.context;
  PrepareContext(context, request.callbacks, request.path, request.displayName, request.action,
                 request.cacheAllowed, options);
  const std::clock_t started = std::clock();
  LOG_TRACE(logger_, "ScanInternal new request. Default action: " << request.action << "File name: "
                                                                  << context.displayName);
  const int32_t status = SendScanRequest(request, context);

  const auto elapsedMs = static_cast<int64_t>((std::clock() - started) * 1000.0 / CLOCKS_PER_SEC);
  if (status != 0) {
    if (options.sendInitialBuffer && status != RequestResult::TimedOut) {
      cacheMisses_.Reset();
    }
    LOG_INFO(logger_, "ScanInternal error: " << status);
  }
  LOG_TRACE(logger_, "ScanInternal scan complete. Default action: "
                         << request.action << "File name: " << context.displayName
                         << " Status: " << status << " Scan time:" << elapsedMs);
  return status;
}

int32_t CSondrel::SendScanRequest(const ScanInternalRequest& request, ScanContext& context) {
  const ScanOptions& options = *request.options;
  const HostCallbacks& callbacks = *request.callbacks;
  ScanRequestFields fields;
  fields.action = request.action;
  const int32_t sizeResult = HostGetSize(callbacks, fields.fileSize);
  if (sizeResult != 0) {
    LOG_ERROR(logger_, "ScanInternal GetSize failed " << sizeResult);
  }
  fields.cacheUsable = context.useServerCache;
  if (context.useServerCache || context.useLocalCache) {
    const std::optional<FileFingerprint> fingerprint = ComputeFingerprint(context.fileReader);
    context.useLocalCache = fingerprint.has_value() && context.useLocalCache &&
                            (fingerprint->strong || options.cacheNonPE);
    if (fingerprint) {
      context.hashCopy.assign(fingerprint->digest.begin(), fingerprint->digest.end());
      fields.fingerprintValid = true;
      std::copy(fingerprint->digest.begin(), fingerprint->digest.end(), fields.fingerprint.begin());
      fields.strongFingerprint = fingerprint->strong;
    } else {
      fields.cacheUsable = false;
    }
  } else {
    fields.cacheUsable = false;
  }
  if (request.path != nullptr && cacheExclusions_.Take(request.path)) {
    LOG_DEBUG(logger_, request.path << " found in cache exclusions");
    fields.cacheUsable = false;
  }
  const auto profileRecord = HostProfileRecord(callbacks);
  fields.profileValue = profileRecord ? ProfileValue(*profileRecord) : 0;

  if (context.useLocalCache && request.action == 0 && profileRecord && localCache_ != nullptr &&
      localCache_->Lookup(fields.fileSize, context.hashCopy, fields.profileValue)) {
    context.foundInCache = true;
    LOG_DEBUG(logger_, "File found in local cache: file <"
                           << OrEmpty(request.path)
                           << "> size :" << static_cast<uint32_t>(fields.fileSize));
    return 0;
  }

  if (options.cleanSystem) {
    const int32_t answer = HostQuery(callbacks, SONDREL_QUERY_CLEAN_MALWARE_TRACES);
    LOG_TRACE(logger_, "cleanMalwareTraces: " << answer);
    fields.cleanTraces = answer == 1;
  }
  const int32_t procResult = HostProcessInfo(callbacks, fields.processInfo);
  if (procResult != 0) {
    LOG_ERROR(logger_, "ScanInternal GetProcInfo failed " << procResult);
  }
  LOG_TRACE(logger_, "ScanInternal procinfo: " << fields.processInfo);
  fields.name = request.displayName != nullptr ? request.displayName : request.path;
  fields.nameLength =
      fields.name != nullptr ? static_cast<uint32_t>(std::strlen(fields.name) + 1) : 0;

  const bool sendInitial =
      options.sendInitialBuffer && (!fields.cacheUsable || cacheMisses_.sendInitialBufferMode);
  LOG_DEBUG(logger_, "Send initial buffer: " << (sendInitial ? 1 : 0));
  std::vector<uint8_t> ownInitialBuffer;
  if (sendInitial) {
    fields.initialBuffer =
        InitialBuffer(context, options, fields.fileSize, ownInitialBuffer, logger_);
    LOG_DEBUG(logger_,
              "Send initial buffer initial buffer size is: " << fields.initialBuffer.size());
  }
  const std::optional<HostOptions> hostOptions = HostGetOptions(callbacks);
  if (hostOptions) {
    context.sentResultBlock.words[0] = 0;
    context.optionWordA = hostOptions->wordA;
    context.optionWordB = hostOptions->wordB;
    fields.optionEntries = hostOptions->entries;
    fields.profileValue ^= ProfileFromOptions(hostOptions->entries);
  }
  const std::vector<uint8_t> text = HostText(callbacks);
  fields.text = text;
  fields.sentResultBlock = context.sentResultBlock;

  const std::optional<uint32_t> length = ScanRequestLength(fields);
  uint8_t* payload =
      length && commClient_ != nullptr ? commClient_->AllocPayload(*length) : nullptr;
  if (payload != nullptr) {
    WriteScanRequest(payload, fields);
  }
  HostRelease(callbacks);
  context.finalStatus = 0;
  const int32_t timeout = request.action == 0 ? options.timeout : options.timeoutDisinfect;
  const int32_t sent =
      commClient_ == nullptr ? RequestResult::NotInitialised
      : payload == nullptr
          ? RequestResult::NotSent
          : commClient_->SendRequest(&context, context.channel, MessageType::ScanRequest,
                                     MessageKind::Request, payload, *length, timeout, false);
  return sent != 0 ? SendFailed(sent) : Answered(request, context, fields.fileSize);
}

int32_t CSondrel::SendFailed(int32_t result) {
  LOG_DEBUG(logger_, "sendsockmessage returned " << result);
  const bool pastGracePeriod = SecondsNow() > initTime_ + kGracePeriodSeconds;
  if (serverUp_) {
    if (pastGracePeriod) {
      LOG_TRACE(logger_, "ScanInternal (su) SendSockMessage error " << result);
    }
  } else {
    LOG_TRACE(logger_, "ScanInternal (sd) SendSockMessage error " << result);
  }
  if (serverUp_ && MarksServersDown(result)) {
    serverUp_ = false;
    if (pastGracePeriod) {
      LOG_TRACE(logger_, "ScanInternal SERVER DOWN");
    }
  }
  LOG_DEBUG(logger_, "status = " << result);
  return result;
}

int32_t CSondrel::Answered(const ScanInternalRequest& request, ScanContext& context,
                           uint64_t fileSize) {
  const ScanOptions& options = *request.options;
  if (!serverUp_) {
    serverUp_ = true;
    LOG_INFO(logger_, "ScanInternal SERVER UP");
    cacheMisses_.Reset();
  }
  LOG_TRACE(logger_, "ScanInternal succeeded" << 0);
  if (!context.threatName.empty() && request.threatName != nullptr &&
      request.threatNameCapacity > 0) {
    if (context.threatName.size() > request.threatNameCapacity - 1) {
      context.threatName.resize(request.threatNameCapacity - 1);
    }
    std::memcpy(request.threatName, context.threatName.c_str(), context.threatName.size() + 1);
  }
  if (request.verdict != nullptr) {
    *request.verdict = context.verdict;
  }
  if (request.outByte != nullptr) {
    *request.outByte = context.outByte;
  }
  const int32_t status = context.finalStatus;
  if (status == 0 && options.sendInitialBuffer) {
    cacheMisses_.Count(context.foundInCache, options.cachemissCountBuffsend);
    LOG_DEBUG(
        logger_,
        (context.foundInCache ? "File found cache: file <" : "File not found in cache: file <")
            << context.displayName << "> size :" << static_cast<uint32_t>(fileSize));
  }
  return status;
}

}  // namespace sondrel
