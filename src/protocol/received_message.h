// Read access to a received record (message header, payload, 4 zero bytes). Every field is read
// through the bounds-checked reader: a field beyond the end of a record reads as 0, and the
// payload is only what is actually present, whatever `payloadLength` claims.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "protocol/byte_reader.h"
#include "protocol/comm_message.h"
#include "protocol/frame_layout.h"

namespace sondrel {

class ReceivedMessage {
 public:
  explicit ReceivedMessage(std::span<const uint8_t> record) : reader_(record) {}
  explicit ReceivedMessage(const CommMessage& record) : ReceivedMessage(record.bytes()) {}

  uint64_t route() const { return U64(frame::kRoute); }
  uint32_t requestSeq() const { return U32(frame::kRequestSeq); }
  // The high half of `route`, read as a signed number: -1 addresses all channels, -2 the special
  // channel.
  int32_t channelIndex() const { return reader_.I32At(frame::kChannelIndex).value_or(0); }
  uint64_t conversationId() const { return U64(frame::kConversationId); }
  uint32_t messageType() const { return U32(frame::kMessageType); }
  uint32_t messageKind() const { return U32(frame::kMessageKind); }
  uint32_t sendCount() const { return U32(frame::kSendCount); }
  // The length the sender announced; payload() is what is actually there.
  uint32_t payloadLength() const { return U32(frame::kPayloadLength); }
  int32_t answerTimeoutMs() const { return reader_.I32At(frame::kAnswerTimeoutMs).value_or(0); }
  uint32_t serverStatus() const { return U32(frame::kServerStatus); }

  // The payload: `payloadLength` bytes from offset 44, cut short where the record's bytes end
  // (the 4-byte trailer is not payload). A record built locally must end with its trailer too.
  std::span<const uint8_t> payload() const {
    const size_t present =
        reader_.size() > frame::kBodyOverhead ? reader_.size() - frame::kBodyOverhead : 0;
    return reader_.ClampedBytesAt(frame::kPayload, std::min<size_t>(payloadLength(), present));
  }

 private:
  uint32_t U32(size_t offset) const { return reader_.U32At(offset).value_or(0); }
  uint64_t U64(size_t offset) const { return reader_.U64At(offset).value_or(0); }

  ByteReader reader_;
};

}  // namespace sondrel
