// Received records for tests that hand messages to the library directly: the bytes are packed by
// the fake server's own frame code and stripped of their frame header, as the read loop would.
#pragma once

#include <cstring>

#include "protocol/comm_message.h"
#include "support/fake_server/wire_frame.h"

namespace sondrel::test {

inline CommMessagePtr Record(const WireFrame& frame) {
  const std::vector<uint8_t> bytes = PackFrame(frame);
  CommMessagePtr record = CommMessage::Allocate(bytes.size() - 20);
  std::memcpy(record->data(), bytes.data() + 20, record->size());
  return record;
}

}  // namespace sondrel::test
