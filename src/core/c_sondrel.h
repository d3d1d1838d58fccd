// The client object: everything the host's calls reach hangs off it. Construction only sets up
// state (settings with their built-in defaults, loggers); files, modules and connections are
// the business of Init. Its object-model face is what the internal monitor drives it through.
#pragma once

#include <atomic>
#include <boost/thread/mutex.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <cstdint>
#include <memory>
#include <vector>

#include "comm/i_sock_comm_client.h"
#include "companions/i_internal_monitor_client.h"
#include "companions/i_monitor_receiver.h"
#include "companions/i_response_cache.h"
#include "companions/monitor_receiver_module.h"
#include "companions/serv_plugin.h"
#include "config/settings_store.h"
#include "core/cache_service_adapter.h"
#include "core/i_exports.h"
#include "core/i_sondrel_events.h"
#include "core/init_environment.h"
#include "logging/logger.h"
#include "objectmodel/sondrel_events.h"
#include "qx/string_t.h"
#include "scan/cache_exclusions.h"
#include "scan/cache_miss_bookkeeping.h"
#include "scan/local_response_cache.h"
#include "scan/scan_conversation.h"
#include "slots/on_demand_slot_events.h"

namespace sondrel {

class CSondrel final : public ISondrelEvents, public Kalvix::SondrelEvents, public IExports {
 public:
  CSondrel();
  CSondrel(const CSondrel&) = delete;
  CSondrel& operator=(const CSondrel&) = delete;
  // Stops a connection manager that the host left running and releases the monitor libraries,
  // before anything their threads call into goes.
  ~CSondrel() override;

  int32_t Init(ScanContext** context, const char* path) override;
  int32_t Scan(const HostCallbacks* callbacks, ScanRequest* request, ScanContext* context) override;
  int32_t Uninit(ScanContext* context, int32_t flags) override;
  int32_t Disinfect(const HostCallbacks* callbacks, const DisinfectRequest* request,
                    ScanContext* context) override;

  void ReloadScanServer() override;

  // The monitor's operations: slots 0 to 5 of the function table behind the face.
  int32_t ApplySettings(const Settings& settings) override;
  int32_t AllocateSlot(SlotEnvelope& envelope) override;
  int32_t FreeSlot(SlotEnvelope& envelope) override;
  int32_t TakeSlotPairs(std::vector<SlotPair>& pairs) override;
  int32_t TakeOverSlotPairs(Kalvix::IObject* source) override;
  int32_t ListCurrentConnections(Kalvix::CurrentConnections& connections) override;

  // Replaces what Init reaches outside the client (tests).
  void SetInitEnvironment(InitEnvironment environment);

  // Inputs of the can-scan update.
  static constexpr int32_t kServersAvailable = 0;
  static constexpr int32_t kServersUnavailable = 1;
  static constexpr int32_t kAnnounceAgain = 2;
  // Sets canScan and canScanRemote from the servers' availability, or announces the current
  // state again (after the settings changed). States already announced by a client of this
  // process are not announced again.
  void UpdateCanScan(int32_t input);

  SettingsStore& settings() { return settings_; }
  OnDemandSlotEvents& slots() { return slots_; }
  bool initialised() const { return initialised_; }
  bool canScan() const { return canScan_; }
  bool canScanRemote() const { return canScanRemote_; }
  int32_t connectionStatus() const { return connectionStatus_; }

 private:
  // The connection status that means the servers are overloaded.
  static constexpr int32_t kServersOverloaded = 2;

  // What Scan and Disinfect hand to the worker they share.
  struct ScanInternalRequest {
    int32_t* verdict;
    char* threatName;
    uint32_t threatNameCapacity;
    const HostCallbacks* callbacks;
    const char* path;
    const char* displayName;
    ScanContext* context;
    int32_t action;  // 0 for a scan
    uint8_t cacheAllowed;
    const ScanOptions* options;
    bool* outByte;   // null for a scan
    int32_t* flags;  // the host's flag word, may be null
  };

  // The first Init: settings, the connection manager and everything it needs. Returns 0 or the
  // connection manager's start-up code.
  int32_t BringUp(const char* path);
  // Reads the settings file into the settings store; false when it cannot be read.
  bool LoadSettingsFile();
  int32_t StartCommClient();
  void PushEngineVersion();
  // The final Uninit of an initialised client.
  void TakeDown();

  // The companion libraries: where they are, loading them at the first Init and unloading them at
  // the final Uninit.
  std::wstring ExecutableDirectory() const;
  std::wstring InternalMonitorLibraryPath() const;
  // The internal monitor client, or else the monitor receiver and the settings file.
  void LoadMonitors();
  void LoadCache();
  void SetLocalCache();
  void UnloadCache();
  void UnloadMonitors();
  // Tells the monitors about a new can-scan pair.
  void AnnounceCanScan(bool canScan, bool canScanRemote);
  // Registers the face with the internal monitor client (Init), and unregisters it (the final
  // Uninit).
  void RegisterWithInternalMonitor();
  void UnregisterFromInternalMonitor();
  // Stops and deletes the connection manager, after taking it from the slot registry.
  void DeleteCommClient();

  // The connection manager's calls into the client (its context is the client).
  static void OnServerMessage(const CommMessagePtr& message, void* client, void* requester);
  static void ServerStatusHandler(bool shieldStatus, int32_t connectionStatus, void* client);
  static bool OnBestSessionChanged(void* client);

  // Decides whether the request goes remote, sends it and copies the outcome to the host.
  int32_t ScanInternal(const ScanInternalRequest& request);
  // The local cache or the server: the fingerprint, the scan request and its send.
  int32_t SendScanRequest(const ScanInternalRequest& request, ScanContext& context);
  int32_t SendFailed(int32_t result);
  int32_t Answered(const ScanInternalRequest& request, ScanContext& context, uint64_t fileSize);

  // Serialises Init and Uninit; recursive so that a thread holding it may re-enter.
  boost::recursive_mutex lock_;
  // The connection manager, from the first successful Init to the final Uninit.
  std::unique_ptr<ISockCommClient> commClient_;
  // Held while the connection manager is created, set up, started, stopped or deleted, and by
  // the monitors' operations that use it, which run on the monitors' threads.
  boost::mutex commClientLock_;
  LoggerPtr logger_;
  // The slots obtained from the servers, with their own logger.
  OnDemandSlotEvents slots_;
  std::atomic<int64_t> initTime_{0};  // seconds since 1970, set by the first successful Init
  std::atomic<bool> canScan_{false};
  std::atomic<bool> canScanRemote_{false};
  std::atomic<int32_t> connectionStatus_{0};  // 2: the servers are overloaded
  std::atomic<bool> initialised_{false};
  std::atomic<bool> serverUp_{true};
  std::atomic<bool> shuttingDown_{false};
  // When requests carry the start of their file (cacheMissCount, sendInitialBufferMode).
  CacheMissBookkeeping cacheMisses_;
  // The response cache module ("Merrin") and its service.
  ServPluginModule cacheModule_;
  IResponseCacheService* cacheService_ = nullptr;
  // The fallback monitor module ("ostrel") and the receiver in use.
  MonitorReceiverModule monitorReceiverModule_;
  std::atomic<IMonitorReceiver*> monitorReceiver_{nullptr};
  // The internal monitor module ("Kalvix") and its client; notifications go only through the
  // registration copy, kept from a successful load until the final Uninit.
  ServPluginModule internalMonitorModule_;
  IInternalMonitorClient* internalMonitor_ = nullptr;
  std::atomic<IInternalMonitorClient*> internalMonitorRegistration_{nullptr};
  // The response cache as the scan code uses it; null while none is loaded.
  CacheServiceAdapter cacheAdapter_{nullptr};
  ILocalResponseCache* localCache_ = nullptr;
  SettingsStore settings_;
  qx::PathStringT enginePath_;
  CacheExclusions cacheExclusions_;
  InitEnvironment environment_;
  // What the handler of the servers' messages works with; set up with the connection manager.
  ConversationServices conversation_;
};

}  // namespace sondrel
