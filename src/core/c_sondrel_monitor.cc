// What the monitor asks of the client through its face: new settings, slots, the hand-over of
// slot pairs between two instances, and the servers it is connected to. These run on the
// monitor's threads, concurrently with requests.
#include <boost/thread/lock_guard.hpp>

#include "config/settings_propagation.h"
#include "core/c_sondrel.h"
#include "objectmodel/i_sondrel.h"
#include "objectmodel/slot_mappings.h"
#include "objectmodel/visitor_proxy.h"
#include "platform/utf8.h"
#include "xml/decimal.h"

namespace sondrel {
namespace {

using Kalvix::kResultRefused;

int32_t Outcome(bool succeeded) {
  return succeeded ? 0 : kResultRefused;
}

ServerSettings ConnectionOf(const CommServerEntry& entry) {
  ServerSettings server;
  server.address = platform::ToWide(entry.address);
  server.port = ParseLeadingInt(entry.port);
  server.useSSL = entry.useSSL == 1;
  server.priority = entry.priority;
  server.enforced = entry.enforced == 1;
  server.nodeid = platform::ToWide(entry.nodeid);
  return server;
}

}  // namespace

int32_t CSondrel::ApplySettings(const Settings& settings) {
  settings_.ApplySettings(settings);
  bool propagated = false;
  {
    boost::lock_guard<boost::mutex> guard(commClientLock_);
    if (commClient_ != nullptr) {
      PropagateSettings(settings_, *commClient_);
      commClient_->ReloadServers();
      propagated = true;
    }
  }
  UpdateCanScan(kAnnounceAgain);
  return Outcome(propagated);
}

int32_t CSondrel::AllocateSlot(SlotEnvelope& envelope) {
  // Refused before the registry is asked when nothing could grant a slot.
  const Settings live = settings_.GetSettings();
  if (live.servers.empty() || !live.enableScan) {
    return kResultRefused;
  }
  envelope.result =
      slots_.AllocSlot(envelope.slot.slotName, envelope.slot.serverRunningID, envelope.force);
  return Outcome(envelope.result);
}

int32_t CSondrel::FreeSlot(SlotEnvelope& envelope) {
  envelope.result = slots_.FreeSlot(envelope.slot.slotName, envelope.slot.serverRunningID);
  return Outcome(envelope.result);
}

int32_t CSondrel::TakeSlotPairs(std::vector<SlotPair>& pairs) {
  return Outcome(slots_.TakeCurrentPairs(pairs));
}

int32_t CSondrel::TakeOverSlotPairs(Kalvix::IObject* source) {
  std::vector<SlotPair> pairs;
  Kalvix::VisitorProxy<std::vector<SlotPair>> visitor(&pairs, Kalvix::SlotPairMapping());
  const int32_t result =
      source->Get(Kalvix::kFunctionTakeSlotPairs, static_cast<Kalvix::IObjectVisitor*>(&visitor));
  if (result == 0) {
    slots_.SetPairsToTransfer(pairs);
  }
  return result;
}

int32_t CSondrel::ListCurrentConnections(Kalvix::CurrentConnections& connections) {
  std::vector<CommServerEntry> entries;
  {
    boost::lock_guard<boost::mutex> guard(commClientLock_);
    if (commClient_ == nullptr) {
      return kResultRefused;
    }
    commClient_->ListServers(entries);
  }
  for (const CommServerEntry& entry : entries) {
    connections.servers.push_back(ConnectionOf(entry));
  }
  return 0;
}

}  // namespace sondrel
