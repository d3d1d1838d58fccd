#include "kalvix_plugin.h"

#include <boost/date_time/posix_time/posix_time.hpp>

#include "companions/guid.h"
#include "kalvix_monitor.h"
#include "objectmodel/can_scan_event.h"
#include "objectmodel/i_sondrel.h"
#include "objectmodel/result_codes.h"

namespace sondrel::kalvix {
namespace {

boost::posix_time::ptime Now() {
  return boost::posix_time::microsec_clock::universal_time();
}

}  // namespace

KalvixPlugin::KalvixPlugin(KalvixMonitor& monitor) : monitor_(monitor) {}

KalvixPlugin::~KalvixPlugin() {
  Forget();
}

void* KalvixPlugin::QueryInterface(Guid interfaceId) {
  return interfaceId == kServPluginId ? static_cast<IServPlugin*>(this) : nullptr;
}

void* KalvixPlugin::GetService(Guid serviceId) {
  if (!started_ || serviceId != kInternalMonitorServiceId) {
    return nullptr;
  }
  return static_cast<IInternalMonitorClient*>(this);
}

int32_t KalvixPlugin::Initialise(int32_t /*argument*/) {
  return 0;
}

void KalvixPlugin::Uninitialise() {
  Forget();
}

int32_t KalvixPlugin::Start() {
  started_ = true;
  return 0;
}

void KalvixPlugin::Stop() {
  started_ = false;
  Forget();
}

int32_t KalvixPlugin::Notify(uint32_t event, Kalvix::IObject* object) {
  try {
    switch (event) {
      case kEventRegister:
        return OnRegister(object);
      case kEventUnregister:
        return OnUnregister(object);
      case kEventCanScanChanged:
        return OnCanScan(object);
      case kEventBestSessionChanged:
        return OnBestSessionChanged();
      default:
        return Kalvix::kResultNotSupported;
    }
  } catch (...) {
    return Kalvix::kResultRefused;
  }
}

int32_t KalvixPlugin::OnRegister(Kalvix::IObject* face) {
  if (face == nullptr) {
    return Kalvix::kResultNotFound;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (face_ != nullptr && face_ != face) {
      return Kalvix::kResultRefused;
    }
    face_ = face;
  }
  monitor_.Register(*this, face);
  return 0;
}

int32_t KalvixPlugin::OnUnregister(Kalvix::IObject* face) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (face == nullptr || face != face_) {
      return Kalvix::kResultNotFound;
    }
  }
  Forget();
  return 0;
}

int32_t KalvixPlugin::OnCanScan(Kalvix::IObject* pair) {
  if (pair == nullptr) {
    return Kalvix::kResultNotFound;
  }
  int canScan = 0;
  int canScanRemote = 0;
  if (pair->Get(Kalvix::kPropCanScan, &canScan) != 0 ||
      pair->Get(Kalvix::kPropCanScanRemote, &canScanRemote) != 0) {
    return Kalvix::kResultNotFound;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  events_.canScan = canScan != 0;
  events_.canScanRemote = canScanRemote != 0;
  events_.availabilityTime = Now();
  return 0;
}

int32_t KalvixPlugin::OnBestSessionChanged() {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.bestSessionTime = Now();
  return 0;
}

ClientEvents KalvixPlugin::Events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

void KalvixPlugin::SetSlotPairs(size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.slotPairs = count;
}

void KalvixPlugin::Forget() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (face_ == nullptr) {
      return;
    }
  }
  monitor_.Unregister(*this);
  std::lock_guard<std::mutex> lock(mutex_);
  face_ = nullptr;
}

}  // namespace sondrel::kalvix
