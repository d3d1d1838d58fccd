// The scan slots one connection holds: granted on request up to a capacity, freed, or kept. A
// slot that is not kept is dropped once it is older than the expiry. Nothing survives the
// connection or a restart.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

namespace sondrel::server {

class SlotTable {
 public:
  using Clock = std::chrono::steady_clock;
  using SlotId = std::array<uint8_t, 16>;

  SlotTable(size_t capacity, Clock::duration expiry) : capacity_(capacity), expiry_(expiry) {}

  // A new slot, or nothing at capacity. With `force` a full table drops its oldest slot that is
  // not kept to make room.
  std::optional<SlotId> Grant(bool force, Clock::time_point now);
  bool Free(const SlotId& slot);
  bool Keep(const SlotId& slot);
  size_t size() const { return slots_.size(); }

 private:
  struct Slot {
    Clock::time_point granted;
    bool kept = false;
  };
  void DropExpired(Clock::time_point now);

  const size_t capacity_;
  const Clock::duration expiry_;
  std::map<SlotId, Slot> slots_;
};

}  // namespace sondrel::server
