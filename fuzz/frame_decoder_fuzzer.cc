// Feeds arbitrary bytes to the receive-side decoding exactly as the read loop does: frame header,
// header check, body, decompression, and reads every field and payload byte of what is
// delivered.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>

#include "protocol/comm_message.h"
#include "protocol/frame_decoder.h"
#include "protocol/frame_layout.h"
#include "protocol/received_message.h"

namespace {

uint64_t Touch(const sondrel::ReceivedMessage& message) {
  uint64_t sum = message.route() ^ message.conversationId() ^ message.messageType() ^
                 message.messageKind() ^ message.sendCount() ^ message.payloadLength() ^
                 static_cast<uint32_t>(message.answerTimeoutMs()) ^ message.serverStatus() ^
                 static_cast<uint32_t>(message.channelIndex()) ^ message.requestSeq();
  for (const uint8_t byte : message.payload()) {
    sum += byte;
  }
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace sondrel;
  std::span<const uint8_t> input(data, size);
  volatile uint64_t sink = 0;
  while (input.size() >= frame::kFrameHeaderSize) {
    const FrameHeader header = ParseFrameHeader(input.first<frame::kFrameHeaderSize>());
    input = input.subspan(frame::kFrameHeaderSize);
    if (header.commVersion != frame::kCommVersion ||
        CheckFrameHeader(header) != FrameProblem::None) {
      break;
    }
    if (header.bodyLength == 0) {
      continue;
    }
    if (input.size() < header.bodyLength) {
      break;  // a socket would wait for the rest
    }
    CommMessagePtr body = CommMessage::Allocate(header.bodyLength);
    if (body == nullptr) {
      break;
    }
    std::memcpy(body->data(), input.data(), header.bodyLength);
    input = input.subspan(header.bodyLength);
    const DecodedBody decoded = DecodeBody(header, std::move(body));
    if (decoded.status != BodyStatus::Delivered) {
      break;
    }
    sink = sink + Touch(ReceivedMessage(*decoded.record));
  }
  return 0;
}
