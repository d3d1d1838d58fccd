// Init and Uninit: bringing the client up on the first Init (settings, connection manager with
// its callbacks, hello and settings), a context with its own request channel for every caller,
// and taking everything down again with the final Uninit.
#include <boost/thread/lock_guard.hpp>
#include <chrono>
#include <thread>
#include <vector>

#include "comm/comm_client_options.h"
#include "comm/sock_comm_client.h"
#include "comm/sock_comm_session.h"
#include "companions/monitor_calls.h"
#include "config/settings_propagation.h"
#include "core/c_sondrel.h"
#include "core/engine_version.h"
#include "logging/log.h"
#include "platform/utf8.h"
#include "protocol/hello_record.h"
#include "scan/scan_conversation.h"

namespace sondrel {
namespace {

using InitLock = boost::lock_guard<boost::recursive_mutex>;

constexpr int32_t kPoolModeOn = 1;
constexpr int32_t kHelloLength = static_cast<int32_t>(hello::kRecordSize);

int64_t SecondsNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void CSondrel::SetInitEnvironment(InitEnvironment environment) {
  InitLock guard(lock_);
  environment_ = std::move(environment);
}

int32_t CSondrel::Init(ScanContext** context, const char* path) {
  InitLock guard(lock_);
  if (!initialised_) {
    const int32_t result = BringUp(path);
    if (result != 0) {
      LOG_FATAL(logger_, "Init comm failed " << result);
      return result;
    }
  }
  auto created = std::make_unique<ScanContext>();
  created->channel = commClient_->AcquireChannel();
  *context = created.release();
  return SONDREL_STATUS_SUCCESS;
}

int32_t CSondrel::BringUp(const char* path) {
  shuttingDown_ = false;
  enginePath_.Assign(platform::ToWide(path != nullptr ? path : ""));
  settings_.SetLogger(logger_);
  LoadMonitors();

  const int32_t result = StartCommClient();
  LOG_TRACE(logger_, "Init Comm ret: " << result);
  if (result != 0) {
    return result;
  }
  slots_.SetCommClient(commClient_.get());
  slots_.SetTimeout(settings_.GetScanOptions().timeout);
  LoadCache();
  std::this_thread::sleep_for(environment_.settleTime);
  slots_.TransferAllSlotPairs();
  initialised_ = true;
  initTime_ = SecondsNow();
  return 0;
}

bool CSondrel::LoadSettingsFile() {
  return environment_.settingsDirectory ? settings_.LoadFromFile(*environment_.settingsDirectory)
                                        : settings_.LoadFromFile();
}

int32_t CSondrel::StartCommClient() {
  boost::lock_guard<boost::mutex> guard(commClientLock_);
  commClient_ = environment_.makeCommClient ? environment_.makeCommClient()
                                            : std::make_unique<SockCommClient>();
  if (commClient_ == nullptr) {
    LOG_ERROR(logger_, "Cannot load comm client");
    return SONDREL_STATUS_COMM_CLIENT_FAILED;
  }
  conversation_ = {commClient_.get(), &settings_, &cacheExclusions_, localCache_, logger_};
  commClient_->SetOption(kOptionServerGoneCallback,
                         reinterpret_cast<const void*>(&OnDemandSlotEvents::OnServerGone));
  commClient_->SetOption(kOptionServerGoneContext, &slots_);
  commClient_->SetOption(kOptionHelloCallback, reinterpret_cast<const void*>(&OnServerMessage));
  commClient_->SetOption(kOptionAvailabilityCallback,
                         reinterpret_cast<const void*>(&ServerStatusHandler));
  commClient_->SetOption(kOptionBestChangedCallback,
                         reinterpret_cast<const void*>(&OnBestSessionChanged));
  commClient_->SetOption(kOptionCallbackContext, this);
  commClient_->SetOption(kOptionPoolMode, &kPoolModeOn);
  commClient_->ApplyOptions();
  PushEngineVersion();
  PropagateSettings(settings_, *commClient_);

  int32_t result = commClient_->Start();
  if (result == SockCommSession::kNotConnected) {
    result = 0;
  }
  if (result != 0) {
    commClient_->Stop();
    commClient_.reset();
  }
  return result;
}

void CSondrel::PushEngineVersion() {
  const std::wstring enginePath(enginePath_.View());
  const std::string version = ReadEngineVersion(enginePath);
  const std::string directory = platform::ToUtf8(enginePath);
  if (!version.empty()) {
    LOG_DEBUG(logger_, "Engine version from " << directory << " is " << version);
  } else {
    LOG_WARN(logger_, "Cannot read engine version from " << directory);
  }
  const std::vector<uint8_t> record = hello::MakeRecord(version);
  commClient_->SetOption(kOptionHelloLength, &kHelloLength);
  commClient_->SetOption(kOptionHelloPayload, record.data());
  commClient_->ApplyOptions();
}

int32_t CSondrel::Uninit(ScanContext* context, int32_t flags) {
  InitLock guard(lock_);
  if (context != nullptr) {
    if (context->channel != -1 && commClient_ != nullptr) {
      commClient_->ReleaseChannel(context->channel);
    }
    delete context;
  }
  if ((flags & 0xFF) != 0) {
    if (initialised_) {
      TakeDown();
    }
    initialised_ = false;
  }
  return SONDREL_STATUS_SUCCESS;
}

void CSondrel::TakeDown() {
  shuttingDown_ = true;
  UnloadCache();
  LOG_INFO(logger_, "Uninit comm client");
  DeleteCommClient();
  UnloadMonitors();
}

void CSondrel::DeleteCommClient() {
  slots_.SetCommClient(nullptr);
  boost::lock_guard<boost::mutex> guard(commClientLock_);
  if (commClient_ != nullptr) {
    commClient_->Stop();
    commClient_.reset();
  }
}

void CSondrel::OnServerMessage(const CommMessagePtr& message, void* client, void* requester) {
  if (client == nullptr) {
    return;
  }
  HandleConversationMessage(message, static_cast<ScanContext*>(requester),
                            static_cast<CSondrel*>(client)->conversation_);
}

bool CSondrel::OnBestSessionChanged(void* client) {
  if (client == nullptr) {
    return false;
  }
  NotifyInternalMonitor(static_cast<CSondrel*>(client)->internalMonitorRegistration_.load(),
                        kEventBestSessionChanged, nullptr);
  return true;
}

}  // namespace sondrel
