// The input format of the fuzz targets that take received records: a sequence of records
// (message header, payload, 4 zero bytes as the read loop delivers them), each preceded by its
// length as 2 bytes, little-endian; the last one is cut where the input ends.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "protocol/comm_message.h"

namespace sondrel::fuzz {

// Calls `deliver` with each record of the input, in order.
template <typename Deliver>
void ForEachRecord(const uint8_t* data, size_t size, Deliver deliver) {
  std::span<const uint8_t> input(data, size);
  while (input.size() >= 2) {
    const size_t length = std::min<size_t>(input[0] | input[1] << 8, input.size() - 2);
    CommMessagePtr record = CommMessage::Allocate(length);
    if (record == nullptr) {
      return;
    }
    std::memcpy(record->data(), input.data() + 2, length);
    input = input.subspan(2 + length);
    deliver(std::move(record));
  }
}

}  // namespace sondrel::fuzz
