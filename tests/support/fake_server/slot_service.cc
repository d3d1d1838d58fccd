#include "support/fake_server/slot_service.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "support/fake_server/server_frames.h"

namespace sondrel::test {
namespace {

constexpr uint32_t kFinalAnswer = 1;

// Payload of a free or keep: u32 20, then the slot's 16 bytes.
SlotBytes SlotOf(const std::vector<uint8_t>& payload) {
  SlotBytes slot{};
  if (payload.size() >= 20) {
    std::copy(payload.begin() + 4, payload.begin() + 20, slot.begin());
  }
  return slot;
}

}  // namespace

SlotService::SlotService(std::vector<SlotBytes> grants) : grants_(grants.begin(), grants.end()) {}

SessionScript SlotService::Script(const SlotBytes& id) {
  SessionScript script;
  script.runningData = RunningServerData(24, id, 3, 1);
  script.onMessage = [this](FakeConnection& connection, const WireFrame& frame) {
    return OnMessage(connection, frame);
  };
  return script;
}

bool SlotService::OnMessage(FakeConnection& connection, const WireFrame& frame) {
  const std::vector<uint8_t> payload = frame.PlainPayload();
  std::vector<uint8_t> answer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (frame.messageType == kFreeSlotType) {
      freed_.push_back(SlotOf(payload));
    } else if (frame.messageType == kKeepSlotType) {
      kept_.push_back(SlotOf(payload));
    }
    if (frame.messageType != kAllocateSlotType) {
      return true;
    }
    allocations_.push_back(payload.size() >= 8 ? ReadLe32(payload, 4) : 0);
    if (!grants_.empty()) {
      answer = Le32(20);
      answer.resize(4 + grants_.front().size());
      std::copy(grants_.front().begin(), grants_.front().end(), answer.begin() + 4);
      grants_.pop_front();
    }
  }
  return connection.Send(AnswerTo(frame, kAllocateSlotType, kFinalAnswer, std::move(answer)));
}

std::vector<uint32_t> SlotService::allocations() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return allocations_;
}

std::vector<SlotBytes> SlotService::freed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return freed_;
}

std::vector<SlotBytes> SlotService::kept() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return kept_;
}

bool SlotService::WaitForFreed(size_t count, int timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (freed().size() < count) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace sondrel::test
