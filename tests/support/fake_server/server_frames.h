// Frames a scan server sends to a session, built byte by byte from the protocol's tables: hello
// answers, ping echoes, running-server data, and answers and requests inside a conversation.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "support/fake_server/wire_frame.h"

namespace sondrel::test {

inline constexpr uint32_t kHelloType = 0xF0000001;
inline constexpr uint32_t kPingType = 0xF0000002;
inline constexpr uint32_t kRunningDataType = 0xF0000003;
inline constexpr uint32_t kErrorReplyType = 0;

std::vector<uint8_t> Le16(uint16_t value);
std::vector<uint8_t> Le32(uint32_t value);
std::vector<uint8_t> Le64(uint64_t value);
uint32_t ReadLe32(const std::vector<uint8_t>& bytes, size_t offset);
uint64_t ReadLe64(const std::vector<uint8_t>& bytes, size_t offset);

// A hello answer whose 4-byte payload is `flags`, with `serverStatus` as the load flags.
WireFrame HelloAnswer(uint32_t flags, uint32_t serverStatus = 0);
// A 299-byte hello answer: `flags` at 0, and at 291 the timestamp of `hello` (its last 8 payload
// bytes) made `ageUs` microseconds older.
WireFrame EchoingHelloAnswer(const WireFrame& hello, uint32_t flags, uint64_t ageUs = 0);
// A ping answer carrying `payload` (the ping's own timestamp echoes it).
WireFrame PingAnswer(std::vector<uint8_t> payload, uint32_t serverStatus = 0);
// A running-server data answer: size field, 16-byte id, major and minor version, cut to `length`
// bytes (24 is the whole record).
WireFrame RunningServerData(uint32_t sizeField, const std::array<uint8_t, 16>& id, uint16_t major,
                            uint16_t minor, size_t length = 24);
// A message for `request`'s channel and request: same requestSeq, channelIndex and
// conversationId.
WireFrame AnswerTo(const WireFrame& request, uint32_t messageType, uint32_t messageKind,
                   std::vector<uint8_t> payload = {});
// A message for channel `channelIndex` of the given request sequence and conversation.
WireFrame ToChannel(int32_t channelIndex, uint32_t requestSeq, uint64_t conversationId,
                    uint32_t messageType, uint32_t messageKind, std::vector<uint8_t> payload = {});

}  // namespace sondrel::test
