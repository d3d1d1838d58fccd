#include "server/slot_table.h"

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid.hpp>

namespace sondrel::server {

std::optional<SlotTable::SlotId> SlotTable::Grant(bool force, Clock::time_point now) {
  DropExpired(now);
  if (slots_.size() >= capacity_) {
    auto oldest = slots_.end();
    for (auto it = slots_.begin(); force && it != slots_.end(); ++it) {
      if (!it->second.kept &&
          (oldest == slots_.end() || it->second.granted < oldest->second.granted)) {
        oldest = it;
      }
    }
    if (oldest == slots_.end()) {
      return std::nullopt;
    }
    slots_.erase(oldest);
  }
  SlotId id{};
  do {
    const boost::uuids::uuid uuid = boost::uuids::random_generator()();
    std::copy(uuid.begin(), uuid.end(), id.begin());
  } while (slots_.contains(id));
  slots_.emplace(id, Slot{now, false});
  return id;
}

bool SlotTable::Free(const SlotId& slot) {
  return slots_.erase(slot) != 0;
}

bool SlotTable::Keep(const SlotId& slot) {
  const auto found = slots_.find(slot);
  if (found == slots_.end()) {
    return false;
  }
  found->second.kept = true;
  return true;
}

void SlotTable::DropExpired(Clock::time_point now) {
  for (auto it = slots_.begin(); it != slots_.end();) {
    if (!it->second.kept && now - it->second.granted >= expiry_) {
      it = slots_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace sondrel::server
