// The records slot operations exchange with the monitor: a slot, the pair that follows a slot from
// the server that granted it to where it lives now, and the envelope of one allocate or free
// request. Their object and property identifiers are part of the interface with the monitor.
#pragma once

#include <cstdint>

#include "slots/qx_guid.h"

namespace sondrel {

struct Slot {
  static constexpr uint32_t kFirstObjectId = 0x26000;
  static constexpr uint32_t kLastObjectId = 0x27000;
  static constexpr uint32_t kServerRunningIdProperty = 0x26001;
  static constexpr uint32_t kSlotNameProperty = 0x26002;

  // The server that granted the slot; the null identifier in a request means any server.
  QxGuid serverRunningID;
  QxGuid slotName;

  friend bool operator==(const Slot&, const Slot&) = default;
};

struct SlotPair {
  static constexpr uint32_t kFirstObjectId = 0x15000;
  static constexpr uint32_t kLastObjectId = 0x16000;
  static constexpr uint32_t kOrigProperty = 0x15001;
  static constexpr uint32_t kActProperty = 0x15002;

  // The slot as first granted: frees are matched against it.
  Slot orig;
  // Where the slot lives now; equal to orig until the slot is moved.
  Slot act;

  friend bool operator==(const SlotPair&, const SlotPair&) = default;
};

struct SlotEnvelope {
  static constexpr uint32_t kFirstObjectId = 0x14000;
  static constexpr uint32_t kLastObjectId = 0x15000;
  static constexpr uint32_t kSlotProperty = 0x14001;
  static constexpr uint32_t kForceProperty = 0x14002;
  static constexpr uint32_t kResultProperty = 0x14003;

  Slot slot;
  // Input of an allocation: sent to the server as the allocation's force bit.
  bool force = false;
  // Output: the operation succeeded.
  bool result = false;
};

}  // namespace sondrel
