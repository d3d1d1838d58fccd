// The fallback monitor library's receiver: told when remote scanning becomes possible or
// impossible, and given the client so that it may ask for a settings reload.
#pragma once

namespace sondrel {

class ISondrelEvents;

class IMonitorReceiver {
 public:
  // Slots 0 to 3 belong to the receiver's own use; the client never calls them.
  virtual void ReservedSlot0() = 0;
  virtual void ReservedSlot1() = 0;
  virtual void ReservedSlot2() = 0;
  virtual void ReservedSlot3() = 0;
  // Slot 4: the new canScanRemote.
  virtual void CanScanRemoteChanged(bool canScanRemote) = 0;
  // Slot 5: the client, through which the receiver may call ReloadScanServer.
  virtual void Register(ISondrelEvents* client) = 0;

 protected:
  ~IMonitorReceiver() = default;
};

// The receiver's second interface. The client never obtains it; its holder is only released.
class IMonitorReceiver2 {
 protected:
  ~IMonitorReceiver2() = default;
};

}  // namespace sondrel
