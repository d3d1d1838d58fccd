#include "slots/server_access_callback.h"

#include <array>
#include <optional>
#include <span>

#include "logging/log.h"
#include "protocol/message_codes.h"
#include "slots/on_demand_slot_events.h"
#include "slots/slot_messages.h"

namespace sondrel {
namespace {

// What free and keep differ in.
struct ReleaseTexts {
  uint32_t messageType;
  const char* fakeSlot;
  const char* sendFailed;
  const char* finalFailure;
};

constexpr ReleaseTexts kFreeTexts = {
    MessageType::FreeSlot, "ServerAccessCallback: Freed fake-slot ",
    ") : error sending message to free slot ", "ServerAccessCallback -- slot not freed!"};
constexpr ReleaseTexts kKeepTexts = {MessageType::KeepSlot, "ServerAccessCallback: Kept fake-slot ",
                                     ") : error sending message to keep slot ",
                                     "ServerAccessCallback -- keep slot failed!"};

// The server's running identity behind an endpoint; nothing for an empty entry or a server
// without slot support.
std::optional<QxGuid> IdentityOf(IServerEndpoint* endpoint) {
  ServerIdentity identity{};
  if (endpoint == nullptr || !endpoint->GetServerId(&identity)) {
    return std::nullopt;
  }
  return QxGuid::FromBytes(identity);
}

// The answer handler of an allocation: every message of the exchange leaves in `slotName` the
// slot it grants, or the null identifier.
void OnAllocationAnswer(const CommMessagePtr& message, void* slotName, void*) {
  auto* granted = static_cast<QxGuid*>(slotName);
  *granted = message != nullptr ? GrantedSlot(*message) : QxGuid::Null();
}

// One visit of the registry's endpoints, with the registry's mutex held.
class Visit {
 public:
  Visit(std::span<IServerEndpoint* const> endpoints, SlotRequest& request,
        std::vector<SlotPair>& pairs, const LoggerPtr& logger, int32_t timeoutMs)
      : endpoints_(endpoints),
        request_(request),
        pairs_(pairs),
        logger_(logger),
        timeoutMs_(timeoutMs) {}

  void Allocate();
  void Release(const ReleaseTexts& texts);
  void Move();

 private:
  // Asks the endpoint of `server` for a slot. The granted slot, or nothing after the line that
  // says why not.
  std::optional<Slot> RequestSlot(IServerEndpoint& endpoint, const QxGuid& server, bool force);

  const std::span<IServerEndpoint* const> endpoints_;
  SlotRequest& request_;
  std::vector<SlotPair>& pairs_;
  const LoggerPtr& logger_;
  const int32_t timeoutMs_;
};

std::optional<Slot> Visit::RequestSlot(IServerEndpoint& endpoint, const QxGuid& server,
                                       bool force) {
  std::array<uint8_t, kAllocationPayloadSize> payload = AllocationPayload(force);
  // A send that returns without an answer must not pass off an earlier grant as this one's.
  QxGuid slotName = QxGuid::Null();
  const int32_t result =
      endpoint.Send(&OnAllocationAnswer, &slotName, MessageType::AllocateSlot, MessageKind::Request,
                    payload.data(), kAllocationPayloadSize, timeoutMs_);
  if (result != 0) {
    LOG_ERROR(logger_, "ServerAccessCallback: Cannot send message to " << endpoint.GetHostName());
    return std::nullopt;
  }
  if (slotName.IsNull()) {
    LOG_WARN(logger_,
             "ServerAccessCallback: " << endpoint.GetHostName() << " : no slots available");
    return std::nullopt;
  }
  return Slot{server, slotName};
}

void Visit::Allocate() {
  const QxGuid wanted = request_.requested.serverRunningID;
  std::span<IServerEndpoint* const> candidates = endpoints_;
  if (!wanted.IsNull()) {
    candidates = {};
    for (size_t i = 0; i < endpoints_.size(); ++i) {
      if (IdentityOf(endpoints_[i]) == wanted) {
        candidates = endpoints_.subspan(i, 1);
        break;
      }
    }
  }
  for (IServerEndpoint* endpoint : candidates) {
    const std::optional<QxGuid> server = IdentityOf(endpoint);
    if (!server) {
      continue;
    }
    if (const std::optional<Slot> slot = RequestSlot(*endpoint, *server, request_.force)) {
      request_.result = *slot;
      request_.succeeded = true;
      return;
    }
  }
  for (IServerEndpoint* endpoint : endpoints_) {
    if (endpoint != nullptr && !IdentityOf(endpoint)) {
      request_.result = {QxGuid::FakeServer(), QxGuid::NewRandom()};
      request_.succeeded = true;
      LOG_WARN(logger_, "ServerAccessCallback: Generated slot "
                            << request_.result.slotName << " from a server with no slot support");
      return;
    }
  }
}

void Visit::Release(const ReleaseTexts& texts) {
  const Slot& slot = request_.requested;
  std::array<uint8_t, kSlotPayloadSize> payload = SlotPayload(slot.slotName);
  if (slot.serverRunningID == QxGuid::FakeServer()) {
    request_.succeeded = true;
    LOG_WARN(logger_, texts.fakeSlot << slot.slotName);
    return;
  }
  for (IServerEndpoint* endpoint : endpoints_) {
    if (IdentityOf(endpoint) != slot.serverRunningID) {
      continue;
    }
    if (endpoint->Send(nullptr, nullptr, texts.messageType, MessageKind::OneWay, payload.data(),
                       kSlotPayloadSize, timeoutMs_) == 0) {
      request_.succeeded = true;
      return;
    }
    LOG_WARN(logger_, "ServerAccessCallback: " << endpoint->GetHostName() << "("
                                               << slot.serverRunningID << texts.sendFailed
                                               << slot.slotName);
  }
  LOG_ERROR(logger_, texts.finalFailure);
}

void Visit::Move() {
  const QxGuid lost = request_.requested.serverRunningID;
  LOG_INFO(logger_, "MoveSlotFromSession: servers = " << endpoints_.size());
  for (SlotPair& pair : pairs_) {
    if (pair.act.serverRunningID != lost) {
      continue;
    }
    LOG_INFO(logger_, "ServerAccessCallback: try to move the slot "
                          << pair.orig.slotName << ", orig serverRunningID: "
                          << pair.orig.serverRunningID << ", act slotName: " << pair.act.slotName
                          << ", act serverRunningID: " << pair.act.serverRunningID << ")");
    request_.succeeded = false;
    for (IServerEndpoint* endpoint : endpoints_) {
      const std::optional<QxGuid> server = IdentityOf(endpoint);
      if (!server) {
        continue;
      }
      LOG_INFO(logger_, "ServerAccessCallback: send the message ");
      if (const std::optional<Slot> slot = RequestSlot(*endpoint, *server, true)) {
        pair.act = *slot;
        request_.succeeded = true;
        break;
      }
    }
    if (!request_.succeeded) {
      LOG_WARN(logger_, "ServerAccessCallback: Slot Not migrated, return false ...");
      return;
    }
    LOG_INFO(logger_, "ServerAccessCallback: Slot migrated act slotName: "
                          << pair.act.slotName
                          << ", act serverRunningID: " << pair.act.serverRunningID << ")");
  }
}

}  // namespace

void ServerAccessCallback(IServerEndpoint* const* endpoints, int32_t count, void* registry) {
  if (endpoints == nullptr || count <= 0 || registry == nullptr) {
    return;
  }
  auto& slots = *static_cast<OnDemandSlotEvents*>(registry);
  slots.request_.succeeded = false;
  Visit visit({endpoints, static_cast<size_t>(count)}, slots.request_, slots.currentPairs_,
              slots.logger_, slots.timeoutMs_);
  switch (slots.request_.code) {
    case SlotRequest::Allocate:
      visit.Allocate();
      break;
    case SlotRequest::Free:
      visit.Release(kFreeTexts);
      break;
    case SlotRequest::Keep:
      visit.Release(kKeepTexts);
      break;
    case SlotRequest::Move:
      visit.Move();
      break;
    default:
      break;
  }
}

}  // namespace sondrel
