#include "slots/on_demand_slot_events.h"

#include <algorithm>
#include <boost/thread/lock_guard.hpp>
#include <utility>

#include "logging/log.h"
#include "slots/server_access_callback.h"

namespace sondrel {
namespace {

const char* Outcome(bool succeeded) {
  return succeeded ? "success" : "fail";
}

}  // namespace

OnDemandSlotEvents::OnDemandSlotEvents(LoggerPtr logger) : logger_(std::move(logger)) {}

bool OnDemandSlotEvents::AllocSlot(QxGuid& slotName, QxGuid& serverRunningID, bool force) {
  LOG_INFO(logger_, "-> OnDemandSlotEvents::AllocSlot(force: " << (force ? "true" : "false"));
  boost::lock_guard<boost::mutex> lock(mutex_);
  if (!operationsPermitted_) {
    // A refused allocation, like a failed one, hands out no identifier.
    slotName = QxGuid::Null();
    serverRunningID = QxGuid::Null();
    return false;
  }
  request_.code = SlotRequest::Allocate;
  request_.force = force;
  request_.requested.serverRunningID = serverRunningID;
  const bool succeeded = Visit();
  if (succeeded) {
    slotName = request_.result.slotName;
    serverRunningID = request_.result.serverRunningID;
    currentPairs_.push_back({request_.result, request_.result});
  } else {
    slotName = QxGuid::Null();
    serverRunningID = QxGuid::Null();
  }
  LOG_INFO(logger_, "<- OnDemandSlotEvents::AllocSlot [result: "
                        << Outcome(succeeded) << ", slotName: " << slotName
                        << ", serverRunningID: " << serverRunningID << "]");
  return succeeded;
}

bool OnDemandSlotEvents::FreeSlot(const QxGuid& slotName, const QxGuid& serverRunningID) {
  LOG_INFO(logger_, "-> OnDemandSlotEvents::FreeSlot (slotName: "
                        << slotName << ", serverRunningID: " << serverRunningID << ")");
  boost::lock_guard<boost::mutex> lock(mutex_);
  if (!operationsPermitted_) {
    LOG_INFO(logger_, "OnDemandSlotEvents::FreeSlot does not permit slot operations");
    return false;
  }
  const Slot given{serverRunningID, slotName};
  const auto found = std::find_if(currentPairs_.begin(), currentPairs_.end(),
                                  [&](const SlotPair& pair) { return pair.orig == given; });
  const bool known = found != currentPairs_.end();
  if (!known) {
    LOG_WARN(logger_, "OnDemandSlotEvents::FreeSlot slot not found in slot pairs, list size: "
                          << currentPairs_.size());
  }
  request_.code = SlotRequest::Free;
  request_.requested = known ? found->act : given;
  const bool succeeded = Visit();
  if (succeeded && known) {
    currentPairs_.erase(found);
  }
  LOG_INFO(logger_, "<- OnDemandSlotEvents::FreeSlot [result: " << Outcome(succeeded) << "]");
  return succeeded;
}

bool OnDemandSlotEvents::MoveSlotsFromSession(const QxGuid& serverRunningID) {
  LOG_INFO(logger_, "-> OnDemandSlotEvents::MoveSlotsFromSession guidSession: " << serverRunningID);
  bool succeeded = false;
  {
    boost::lock_guard<boost::mutex> lock(mutex_);
    const bool anyOnServer = std::any_of(
        currentPairs_.begin(), currentPairs_.end(),
        [&](const SlotPair& pair) { return pair.act.serverRunningID == serverRunningID; });
    if (!anyOnServer) {
      LOG_INFO(logger_, "<- OnDemandSlotEvents::MoveSlotsFromSession! no slots to move!");
      return true;
    }
    if (!operationsPermitted_) {
      return false;
    }
    request_.code = SlotRequest::Move;
    request_.force = false;
    request_.requested.serverRunningID = serverRunningID;
    succeeded = Visit();
  }
  LOG_INFO(logger_,
           "<- OnDemandSlotEvents::MoveSlotsFromSession [result: " << Outcome(succeeded) << "]");
  return succeeded;
}

void OnDemandSlotEvents::TransferAllSlotPairs() {
  LOG_INFO(logger_, "-> OnDemandSlotEvents::TransferAllSlotPairs");
  // Each transfer takes the mutex; the walk over a copy of the list needs none of it.
  std::vector<SlotPair> pairs;
  {
    boost::lock_guard<boost::mutex> lock(mutex_);
    pairs = pairsToTransfer_;
  }
  for (const SlotPair& pair : pairs) {
    TransferOneSlotPair(pair);
  }
  LOG_INFO(logger_, "<- OnDemandSlotEvents::TransferAllSlotPairs");
}

bool OnDemandSlotEvents::TransferOneSlotPair(const SlotPair& pair) {
  LOG_INFO(logger_, "-> OnDemandSlotEvents::TransferOneSlotPair (orig slotName: "
                        << pair.orig.slotName << ", orig serverRunningID: "
                        << pair.orig.serverRunningID << ", act slotName: " << pair.act.slotName
                        << ", act serverRunningID: " << pair.act.serverRunningID << ")");
  boost::lock_guard<boost::mutex> lock(mutex_);
  if (!operationsPermitted_) {
    return false;
  }
  request_.code = SlotRequest::Keep;
  request_.requested = pair.act;
  const bool succeeded = Visit();
  if (succeeded) {
    currentPairs_.push_back(pair);
  }
  LOG_INFO(logger_, "<- OnDemandSlotEvents::KeepSlot [result: " << Outcome(succeeded) << "]");
  return succeeded;
}

void OnDemandSlotEvents::SetPairsToTransfer(const std::vector<SlotPair>& pairs) {
  boost::lock_guard<boost::mutex> lock(mutex_);
  pairsToTransfer_ = pairs;
}

bool OnDemandSlotEvents::TakeCurrentPairs(std::vector<SlotPair>& pairs) {
  boost::lock_guard<boost::mutex> lock(mutex_);
  if (!operationsPermitted_) {
    return false;
  }
  operationsPermitted_ = false;
  pairs = currentPairs_;
  return true;
}

void OnDemandSlotEvents::SetCommClient(ISockCommClient* commClient) {
  boost::lock_guard<boost::mutex> lock(mutex_);
  commClient_ = commClient;
}

void OnDemandSlotEvents::SetTimeout(int32_t timeoutMs) {
  boost::lock_guard<boost::mutex> lock(mutex_);
  timeoutMs_ = timeoutMs;
}

bool OnDemandSlotEvents::OnServerGone(void* registry, const ServerIdentity* identity) {
  if (registry == nullptr || identity == nullptr) {
    return false;
  }
  return static_cast<OnDemandSlotEvents*>(registry)->MoveSlotsFromSession(
      QxGuid::FromBytes(*identity));
}

std::vector<SlotPair> OnDemandSlotEvents::CurrentPairs() const {
  boost::lock_guard<boost::mutex> lock(mutex_);
  return currentPairs_;
}

bool OnDemandSlotEvents::Visit() {
  request_.succeeded = false;
  if (commClient_ == nullptr) {
    return false;
  }
  return commClient_->EnumerateEndpoints(&ServerAccessCallback, this) == 0 && request_.succeeded;
}

}  // namespace sondrel
