// Slot pairs the monitor took from one client, offered to another as a client's face offers its
// own: through Get of the pair hand-over, into a visitor.
#pragma once

#include <cstdint>
#include <vector>

#include "objectmodel/i_object.h"
#include "slots/slot_records.h"

namespace sondrel::kalvix {

class SlotPairSource final : public Kalvix::IObject {
 public:
  explicit SlotPairSource(std::vector<SlotPair> pairs) : pairs_(std::move(pairs)) {}

  // Only Get of the pair hand-over, with an IObjectVisitor; every other call is refused.
  int32_t Set(uint32_t id, ...) override;
  int32_t Get(uint32_t id, ...) override;
  int32_t CopyTo(Kalvix::IObject* target) override;
  int32_t GetVersion() override;

 private:
  std::vector<SlotPair> pairs_;
};

}  // namespace sondrel::kalvix
