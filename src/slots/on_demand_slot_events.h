// The slot registry: every slot this client obtained from the scan servers, in the order it was
// obtained, so that slots can be freed where they live now, moved when their server goes away,
// and handed over to the next instance of the client. Each operation fills the current request
// and visits the connection manager's server endpoints with ServerAccessCallback, which does the
// messaging. One mutex serialises the operations, visits and server waits included; it is taken
// before the connection manager's endpoint lock.
#pragma once

#include <boost/thread/mutex.hpp>
#include <cstdint>
#include <vector>

#include "comm/i_server_endpoint.h"
#include "comm/i_sock_comm_client.h"
#include "logging/logger.h"
#include "protocol/server_identity.h"
#include "slots/qx_guid.h"
#include "slots/slot_records.h"

namespace sondrel {

// What a slot operation asks of the servers and what they answered; written by the registry,
// read and answered by ServerAccessCallback.
struct SlotRequest {
  enum Code : int32_t { Allocate = 0, Free = 1, Keep = 2, Move = 3 };

  int32_t code = Allocate;
  Slot requested;
  Slot result;
  bool force = false;
  bool succeeded = false;
};

class OnDemandSlotEvents {
 public:
  // Wait for an allocation's answer until the time-out setting replaces it.
  static constexpr int32_t kDefaultTimeoutMs = 1000;

  explicit OnDemandSlotEvents(LoggerPtr logger);
  OnDemandSlotEvents(const OnDemandSlotEvents&) = delete;
  OnDemandSlotEvents& operator=(const OnDemandSlotEvents&) = delete;

  // A slot from the server `serverRunningID` names (the null identifier: any server). On success
  // both arguments become the granted slot, else the null identifier.
  bool AllocSlot(QxGuid& slotName, QxGuid& serverRunningID, bool force);
  // Frees the slot where it lives now; a slot this registry does not know is still freed on the
  // server named.
  bool FreeSlot(const QxGuid& slotName, const QxGuid& serverRunningID);
  // Moves the slots living on a server that no session serves any more to the servers still
  // connected. True when there was nothing to move.
  bool MoveSlotsFromSession(const QxGuid& serverRunningID);
  // Keeps every pair received from the previous instance, in order.
  void TransferAllSlotPairs();
  bool TransferOneSlotPair(const SlotPair& pair);
  // The pairs of the previous instance, kept until TransferAllSlotPairs.
  void SetPairsToTransfer(const std::vector<SlotPair>& pairs);
  // Hands the current pairs over: they are copied into `pairs` and from then on every operation is
  // refused. False, copying nothing, once they were handed over.
  bool TakeCurrentPairs(std::vector<SlotPair>& pairs);

  // The connection manager whose sessions are visited; null makes every operation fail.
  void SetCommClient(ISockCommClient* commClient);
  void SetTimeout(int32_t timeoutMs);

  // The connection manager's server-gone report, with the registry as context: forwards to
  // MoveSlotsFromSession. False without a registry.
  static bool OnServerGone(void* registry, const ServerIdentity* identity);

  // A copy of the current pairs, in the order the slots were obtained.
  std::vector<SlotPair> CurrentPairs() const;

 private:
  friend void ServerAccessCallback(IServerEndpoint* const* endpoints, int32_t count,
                                   void* registry);

  // Visits the connection manager's endpoints with the current request. Called with the mutex
  // held; true when the visit was made and the callback reported success.
  bool Visit();

  const LoggerPtr logger_;
  ISockCommClient* commClient_ = nullptr;
  int32_t timeoutMs_ = kDefaultTimeoutMs;
  bool operationsPermitted_ = true;
  std::vector<SlotPair> currentPairs_;
  std::vector<SlotPair> pairsToTransfer_;
  SlotRequest request_;
  mutable boost::mutex mutex_;
};

}  // namespace sondrel
