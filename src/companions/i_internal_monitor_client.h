// The internal monitor library's client service ("IInternalOstrel" in the log): it receives the
// client's object-model face and the client's state events.
#pragma once

#include <cstdint>

namespace Kalvix {
class IObject;
}  // namespace Kalvix

namespace sondrel {

// Events sent through Notify, with the object each one carries.
inline constexpr uint32_t kEventRegister = 0x11001;            // the client's face
inline constexpr uint32_t kEventUnregister = 0x11002;          // the client's face
inline constexpr uint32_t kEventCanScanChanged = 0x11003;      // the can-scan pair
inline constexpr uint32_t kEventBestSessionChanged = 0x11004;  // nothing

class IInternalMonitorClient {
 public:
  // Slot 0 belongs to the service's own use; the client never calls it.
  virtual void ReservedSlot0() = 0;
  // Slot 1: 0 when the event was accepted.
  virtual int32_t Notify(uint32_t event, Kalvix::IObject* object) = 0;

 protected:
  ~IInternalMonitorClient() = default;
};

}  // namespace sondrel
