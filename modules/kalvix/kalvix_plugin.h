// The "InternalOstrel" object of Kalvix.so: a plug-in whose service is the internal monitor
// client. The client registers its face with it (event 0x11001) and unregisters it (0x11002);
// between them the plug-in records the client's availability (0x11003) and best-session (0x11004)
// events, and the process's monitor drives the client through the face. Stopping or destroying the
// plug-in unregisters a client it still holds.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "client_events.h"
#include "companions/companion_factory.h"
#include "companions/i_internal_monitor_client.h"
#include "companions/i_serv_plugin.h"
#include "objectmodel/i_object.h"

namespace sondrel::kalvix {

class KalvixMonitor;

class KalvixPlugin final : public ICompanionObject,
                           public IServPlugin,
                           public IInternalMonitorClient {
 public:
  explicit KalvixPlugin(KalvixMonitor& monitor);
  KalvixPlugin(const KalvixPlugin&) = delete;
  KalvixPlugin& operator=(const KalvixPlugin&) = delete;
  virtual ~KalvixPlugin();

  void* QueryInterface(Guid interfaceId) override;

  void* GetService(Guid serviceId) override;
  int32_t Initialise(int32_t argument) override;
  void Uninitialise() override;
  int32_t Start() override;
  void Stop() override;

  void ReservedSlot0() override {}
  // 0 when accepted; 4306 for a missing or unknown object, 1627 for a second client's face, 50 for
  // an unknown event. Never throws.
  int32_t Notify(uint32_t event, Kalvix::IObject* object) override;

  ClientEvents Events() const;
  void SetSlotPairs(size_t count);

 private:
  int32_t OnRegister(Kalvix::IObject* face);
  int32_t OnUnregister(Kalvix::IObject* face);
  int32_t OnCanScan(Kalvix::IObject* pair);
  int32_t OnBestSessionChanged();
  // Unregisters the client it still holds.
  void Forget();

  KalvixMonitor& monitor_;
  std::atomic<bool> started_{false};
  mutable std::mutex mutex_;
  Kalvix::IObject* face_ = nullptr;
  ClientEvents events_;
};

}  // namespace sondrel::kalvix
