// The bytes of outgoing messages, checked against the protocol's tables: an exact frame written
// out by hand, and frames read back with the fake server's own parser.
#include "protocol/message_builder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <numeric>
#include <vector>

#include "protocol/payload_buffer.h"
#include "support/fake_server/wire_frame.h"

namespace sondrel {
namespace {

using test::ParseFrame;
using test::WireFrame;

constexpr CompressionSettings kNeverCompress{0, 0xFFFFFFFF};

const OutgoingHeader kHeader{
    .requestSeq = 0x01020304,
    .channelIndex = -2,
    .conversationId = 0x1122334455667788,
    .messageType = 0xF0000002,
    .messageKind = 3,
    .sendCount = 7,
    .answerTimeoutMs = -1,
};

std::vector<uint8_t> Bytes(const CommMessagePtr& message) {
  return {message->data(), message->data() + message->size()};
}

WireFrame Parsed(const CommMessagePtr& message) {
  auto frame = ParseFrame(message->bytes());
  EXPECT_TRUE(frame.has_value());
  return frame.value_or(WireFrame{});
}

std::vector<uint8_t> Pattern(size_t length) {
  std::vector<uint8_t> bytes(length);
  for (size_t i = 0; i < length; ++i) {
    bytes[i] = static_cast<uint8_t>("sondrel frame "[i % 14]);
  }
  return bytes;
}

TEST(MessageBuilderTest, EmptyMessageIsExactlyTheTable) {
  const std::vector<uint8_t> expected = {
      0x30, 0x00, 0x00, 0x00,                          // bodyLength 48
      0x02, 0x00, 0x00, 0x00,                          // commVersion 2
      0x00, 0x00, 0x00, 0x00,                          // compressed
      0x00, 0x00, 0x00, 0x00,                          // compressedLength
      0x00, 0x00, 0x00, 0x00,                          // frameReserved
      0x04, 0x03, 0x02, 0x01,                          // requestSeq
      0xFE, 0xFF, 0xFF, 0xFF,                          // channelIndex -2
      0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11,  // conversationId
      0x02, 0x00, 0x00, 0xF0,                          // messageType
      0x03, 0x00, 0x00, 0x00,                          // messageKind
      0x07, 0x00, 0x00, 0x00,                          // sendCount
      0x00, 0x00, 0x00, 0x00,                          // payloadLength
      0x00, 0x00, 0x00, 0x00,                          // headerReserved
      0xFF, 0xFF, 0xFF, 0xFF,                          // answerTimeoutMs -1
      0x00, 0x00, 0x00, 0x00,                          // serverStatus
      0x00, 0x00, 0x00, 0x00,                          // trailer
  };
  // Whatever the compression settings, an empty payload is sent as it is.
  for (const CompressionSettings compression : {kNeverCompress, CompressionSettings{0, 0}}) {
    const CommMessagePtr message = BuildMessage(kHeader, nullptr, 0, true, compression);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(Bytes(message), expected);
  }
}

TEST(MessageBuilderTest, AServerWritesItsLoadFlags) {
  OutgoingHeader header = kHeader;
  header.serverStatus = 0x4;
  const CommMessagePtr message = BuildMessage(header, nullptr, 0, true, kNeverCompress);
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(Parsed(message).serverStatus, 0x4u);
}

TEST(MessageBuilderTest, PayloadFollowsTheHeadersAndTheTrailerEndsTheFrame) {
  std::array<uint8_t, 3> payload = {'a', 'b', 'c'};
  const CommMessagePtr message = BuildMessage(kHeader, payload.data(), 3, true, kNeverCompress);
  ASSERT_NE(message, nullptr);
  const std::vector<uint8_t> bytes = Bytes(message);
  ASSERT_EQ(bytes.size(), 71u);
  EXPECT_EQ(bytes[0], 51);  // bodyLength = 48 + 3
  EXPECT_EQ(bytes[48], 3);  // payloadLength
  EXPECT_EQ(bytes[64], 'a');
  EXPECT_EQ(bytes[66], 'c');
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 67, bytes.end()), std::vector<uint8_t>(4, 0));
}

TEST(MessageBuilderTest, ArgumentsAreNormalised) {
  // A null payload with a length is an empty message.
  CommMessagePtr message = BuildMessage(kHeader, nullptr, 5, true, kNeverCompress);
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(message->size(), 68u);
  EXPECT_EQ(Parsed(message).payloadLength, 0u);

  // A payload with length 0 is no payload; a buffer handed over that way is released.
  uint8_t* empty = AllocPayload(0);
  message = BuildMessage(kHeader, empty, 0, false, kNeverCompress);
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(message->size(), 68u);
}

TEST(MessageBuilderTest, PayloadsTooLongForAFrameAreRefusedUnread) {
  std::array<uint8_t, 4> payload{};
  // The frame of a payload above 2^32 - 69 bytes cannot carry its length.
  EXPECT_EQ(BuildMessage(kHeader, payload.data(), 0xFFFFFFBC, true, kNeverCompress), nullptr);
  EXPECT_EQ(BuildMessage(kHeader, payload.data(), 0xFFFFFFFF, true, kNeverCompress), nullptr);
}

struct CompressionCase {
  int32_t level;
  uint32_t minBytes;
  uint32_t length;
  bool compressed;
};

TEST(MessageBuilderTest, CompressionFollowsLevelAndThreshold) {
  const CompressionCase cases[] = {
      {0, 100, 100, false},          // not above the threshold
      {0, 100, 101, true},           // just above it
      {-1, 0, 5000, false},          // a negative level never compresses
      {0, 0xFFFFFFFF, 5000, false},  // the largest threshold disables compression
      {0, 0, 1, true},
      {9, 0, 5000, true},
  };
  for (const CompressionCase& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "level " << c.level << " minBytes " << c.minBytes << " length " << c.length);
    std::vector<uint8_t> payload = Pattern(c.length);
    const CommMessagePtr message =
        BuildMessage(kHeader, payload.data(), c.length, true, {c.level, c.minBytes});
    ASSERT_NE(message, nullptr);
    const WireFrame frame = Parsed(message);
    EXPECT_EQ(frame.compressed, c.compressed ? 1u : 0u);
    EXPECT_EQ(frame.payloadLength, c.length);
    EXPECT_EQ(frame.bodyLength, 48 + frame.payload.size());
    EXPECT_EQ(frame.compressedLength, c.compressed ? frame.payload.size() : 0u);
    EXPECT_EQ(frame.PlainPayload(), payload);
    EXPECT_EQ(frame.trailer, 0u);
    // The caller's copy is untouched.
    EXPECT_EQ(payload, Pattern(c.length));
  }
}

TEST(MessageBuilderTest, LevelZeroIsZlibsDefaultLevel) {
  std::vector<uint8_t> payload(20000);
  std::iota(payload.begin(), payload.end(), 0);
  for (const int32_t level : {0, 1, 9}) {
    const CommMessagePtr message = BuildMessage(
        kHeader, payload.data(), static_cast<uint32_t>(payload.size()), true, {level, 0});
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(Parsed(message).payload, test::ZlibCompress(payload, level == 0 ? -1 : level))
        << "level " << level;
  }
}

TEST(MessageBuilderTest, HandedOverBufferIsSentInPlace) {
  uint8_t* payload = AllocPayload(1000);
  ASSERT_NE(payload, nullptr);
  std::memset(payload, 0x5A, 1000);
  const CommMessagePtr message = BuildMessage(kHeader, payload, 1000, false, kNeverCompress);
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(message->data(), payload - 64);
  EXPECT_EQ(message->size(), 1068u);
  const WireFrame frame = Parsed(message);
  EXPECT_EQ(frame.bodyLength, 1048u);
  EXPECT_EQ(frame.messageType, kHeader.messageType);
  EXPECT_EQ(frame.payload, std::vector<uint8_t>(1000, 0x5A));
}

TEST(MessageBuilderTest, HandedOverBufferIsReleasedWhenSentCompressed) {
  uint8_t* payload = AllocPayload(4096);
  ASSERT_NE(payload, nullptr);
  std::memset(payload, 'z', 4096);
  // The leak checker of the sanitized build catches a buffer that is not released.
  const CommMessagePtr message = BuildMessage(kHeader, payload, 4096, false, {0, 0});
  ASSERT_NE(message, nullptr);
  const WireFrame frame = Parsed(message);
  EXPECT_EQ(frame.compressed, 1u);
  EXPECT_EQ(frame.PlainPayload(), std::vector<uint8_t>(4096, 'z'));
}

TEST(MessageBuilderTest, CopiedPayloadIsNotAdopted) {
  uint8_t* payload = AllocPayload(16);
  ASSERT_NE(payload, nullptr);
  const CommMessagePtr message = BuildMessage(kHeader, payload, 16, true, kNeverCompress);
  ASSERT_NE(message, nullptr);
  EXPECT_NE(message->data(), payload - 64);
  FreePayload(payload);
}

TEST(PayloadBufferTest, BufferIsZeroedWithItsLengthInPlace) {
  uint8_t* payload = AllocPayload(300);
  ASSERT_NE(payload, nullptr);
  const uint8_t* block = payload - 64;
  EXPECT_EQ(block[48], 0x2C);  // payloadLength 300, little-endian
  EXPECT_EQ(block[49], 0x01);
  for (size_t i = 0; i < 368; ++i) {
    if (i != 48 && i != 49) {
      EXPECT_EQ(block[i], 0) << "byte " << i;
    }
  }
  FreePayload(payload);
  FreePayload(nullptr);
}

}  // namespace
}  // namespace sondrel
