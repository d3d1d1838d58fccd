#include "support/fake_server/server_frames.h"

#include <utility>

namespace sondrel::test {

std::vector<uint8_t> Le16(uint16_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
}

std::vector<uint8_t> Le32(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

std::vector<uint8_t> Le64(uint64_t value) {
  std::vector<uint8_t> bytes = Le32(static_cast<uint32_t>(value));
  const std::vector<uint8_t> high = Le32(static_cast<uint32_t>(value >> 32));
  bytes.insert(bytes.end(), high.begin(), high.end());
  return bytes;
}

uint32_t ReadLe32(const std::vector<uint8_t>& bytes, size_t offset) {
  return static_cast<uint32_t>(bytes.at(offset)) |
         static_cast<uint32_t>(bytes.at(offset + 1)) << 8 |
         static_cast<uint32_t>(bytes.at(offset + 2)) << 16 |
         static_cast<uint32_t>(bytes.at(offset + 3)) << 24;
}

uint64_t ReadLe64(const std::vector<uint8_t>& bytes, size_t offset) {
  return static_cast<uint64_t>(ReadLe32(bytes, offset)) |
         static_cast<uint64_t>(ReadLe32(bytes, offset + 4)) << 32;
}

WireFrame HelloAnswer(uint32_t flags, uint32_t serverStatus) {
  WireFrame frame = PlainFrame(kHelloType, 1, Le32(flags));
  frame.serverStatus = serverStatus;
  return frame;
}

WireFrame EchoingHelloAnswer(const WireFrame& hello, uint32_t flags, uint64_t ageUs) {
  const std::vector<uint8_t> request = hello.PlainPayload();
  const uint64_t timestamp = request.size() >= 8 ? ReadLe64(request, request.size() - 8) : 0;
  std::vector<uint8_t> payload(299, 0);
  const std::vector<uint8_t> flagBytes = Le32(flags);
  std::copy(flagBytes.begin(), flagBytes.end(), payload.begin());
  const std::vector<uint8_t> echo = Le64(timestamp - ageUs);
  std::copy(echo.begin(), echo.end(), payload.begin() + 291);
  return PlainFrame(kHelloType, 1, std::move(payload));
}

WireFrame PingAnswer(std::vector<uint8_t> payload, uint32_t serverStatus) {
  WireFrame frame = PlainFrame(kPingType, 3, std::move(payload));
  frame.serverStatus = serverStatus;
  return frame;
}

WireFrame RunningServerData(uint32_t sizeField, const std::array<uint8_t, 16>& id, uint16_t major,
                            uint16_t minor, size_t length) {
  std::vector<uint8_t> payload = Le32(sizeField);
  payload.insert(payload.end(), id.begin(), id.end());
  for (const auto& part : {Le16(major), Le16(minor)}) {
    payload.insert(payload.end(), part.begin(), part.end());
  }
  payload.resize(length);
  return PlainFrame(kRunningDataType, 1, std::move(payload));
}

WireFrame AnswerTo(const WireFrame& request, uint32_t messageType, uint32_t messageKind,
                   std::vector<uint8_t> payload) {
  return ToChannel(request.channelIndex, request.requestSeq, request.conversationId, messageType,
                   messageKind, std::move(payload));
}

WireFrame ToChannel(int32_t channelIndex, uint32_t requestSeq, uint64_t conversationId,
                    uint32_t messageType, uint32_t messageKind, std::vector<uint8_t> payload) {
  WireFrame frame = PlainFrame(messageType, messageKind, std::move(payload));
  frame.channelIndex = channelIndex;
  frame.requestSeq = requestSeq;
  frame.conversationId = conversationId;
  return frame;
}

}  // namespace sondrel::test
