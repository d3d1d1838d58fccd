// A scan server's slots, for the slot tests: it grants the slots of its list one by one in
// answer to allocations (message 112, answered with the 20-byte slot record; an answer without
// payload once the list is used up) and records the allocations' flags and the slots freed (113)
// and kept (114). Frames are built and read by hand from the protocol's tables.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "support/fake_server/fake_server.h"
#include "support/fake_server/session_script.h"
#include "support/fake_server/wire_frame.h"

namespace sondrel::test {

inline constexpr uint32_t kAllocateSlotType = 112;
inline constexpr uint32_t kFreeSlotType = 113;
inline constexpr uint32_t kKeepSlotType = 114;

using SlotBytes = std::array<uint8_t, 16>;

class SlotService {
 public:
  explicit SlotService(std::vector<SlotBytes> grants);

  // A session script with running identity `id` whose other messages go to this service.
  SessionScript Script(const SlotBytes& id);
  // Answers or records one slot message; other messages are left alone. False when an answer
  // could not be sent.
  bool OnMessage(FakeConnection& connection, const WireFrame& frame);

  // The flags word of every allocation received.
  std::vector<uint32_t> allocations() const;
  std::vector<SlotBytes> freed() const;
  std::vector<SlotBytes> kept() const;
  // Waits until `count` frees were recorded.
  bool WaitForFreed(size_t count, int timeoutMs = kFakeServerTimeoutMs) const;

 private:
  mutable std::mutex mutex_;
  std::deque<SlotBytes> grants_;
  std::vector<uint32_t> allocations_;
  std::vector<SlotBytes> freed_;
  std::vector<SlotBytes> kept_;
};

}  // namespace sondrel::test
