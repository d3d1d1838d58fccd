#include "protocol/frame_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "protocol/wire_limits.h"
#include "support/fake_server/wire_frame.h"

namespace sondrel {
namespace {

using test::CompressedFrame;
using test::PackFrame;
using test::PlainFrame;
using test::WireFrame;

FrameHeader HeaderOf(const WireFrame& frame) {
  const std::vector<uint8_t> bytes = test::PackFrameHeader(frame);
  return ParseFrameHeader(std::span<const uint8_t, frame::kFrameHeaderSize>(bytes.data(), 20));
}

// The body as the socket hands it over: everything after the frame header.
CommMessagePtr BodyOf(const WireFrame& frame) {
  const std::vector<uint8_t> bytes = PackFrame(frame);
  CommMessagePtr body = CommMessage::Allocate(bytes.size() - 20);
  std::memcpy(body->data(), bytes.data() + 20, body->size());
  return body;
}

std::vector<uint8_t> PayloadOf(const CommMessagePtr& record) {
  return {record->data() + 44, record->data() + record->size() - 4};
}

TEST(FrameDecoderTest, HeaderFieldsAreReadFromTheirOffsets) {
  WireFrame frame;
  frame.bodyLength = 0x01020304;
  frame.commVersion = 0x05060708;
  frame.compressed = 0x090A0B0C;
  frame.compressedLength = 0x0D0E0F10;
  frame.frameReserved = 0x11121314;
  const FrameHeader header = HeaderOf(frame);
  EXPECT_EQ(header.bodyLength, 0x01020304u);
  EXPECT_EQ(header.commVersion, 0x05060708u);
  EXPECT_EQ(header.compressed, 0x090A0B0Cu);
  EXPECT_EQ(header.compressedLength, 0x0D0E0F10u);
  EXPECT_EQ(header.frameReserved, 0x11121314u);
}

TEST(FrameDecoderTest, HeaderCheckBoundsEveryLength) {
  struct Case {
    uint32_t bodyLength;
    uint32_t compressed;
    uint32_t compressedLength;
    FrameProblem expected;
  };
  const Case cases[] = {
      {0, 0, 0, FrameProblem::None},  // no body: nothing to read
      {0, 1, 5000, FrameProblem::None},
      {48, 0, 0, FrameProblem::None},
      {47, 0, 0, FrameProblem::BodyTooShort},
      {1, 0, 0, FrameProblem::BodyTooShort},
      {kMaxFrameBodyLength, 0, 0, FrameProblem::None},
      {kMaxFrameBodyLength + 1, 0, 0, FrameProblem::BodyTooLong},
      {0xFFFFFFFF, 0, 0, FrameProblem::BodyTooLong},
      {60, 1, 12, FrameProblem::None},
      {60, 1, 13, FrameProblem::CompressedLengthTooLong},
      {60, 7, 0xFFFFFFFF, FrameProblem::CompressedLengthTooLong},  // any non-zero flag counts
      {60, 0, 0xFFFFFFFF, FrameProblem::None},                     // ignored when not compressed
  };
  for (const Case& c : cases) {
    FrameHeader header;
    header.commVersion = 2;
    header.bodyLength = c.bodyLength;
    header.compressed = c.compressed;
    header.compressedLength = c.compressedLength;
    EXPECT_EQ(CheckFrameHeader(header), c.expected)
        << "bodyLength " << c.bodyLength << " compressedLength " << c.compressedLength;
  }
}

TEST(FrameDecoderTest, UncompressedBodyIsTheRecordItself) {
  const WireFrame frame = PlainFrame(104, 1, {1, 2, 3, 4});
  CommMessagePtr body = BodyOf(frame);
  const CommMessage* original = body.get();
  const DecodedBody decoded = DecodeBody(HeaderOf(frame), std::move(body));
  ASSERT_EQ(decoded.status, BodyStatus::Delivered);
  EXPECT_EQ(decoded.record.get(), original);
  EXPECT_EQ(decoded.record->size(), 52u);
}

TEST(FrameDecoderTest, CompressedBodyIsDecompressedBehindItsHeader) {
  std::vector<uint8_t> plain(3000);
  for (size_t i = 0; i < plain.size(); ++i) {
    plain[i] = static_cast<uint8_t>(i * 7);
  }
  WireFrame frame = CompressedFrame(101, 2, plain);
  frame.conversationId = 0xABCDEF;
  const DecodedBody decoded = DecodeBody(HeaderOf(frame), BodyOf(frame));
  ASSERT_EQ(decoded.status, BodyStatus::Delivered);
  EXPECT_FALSE(decoded.ShortOutput());
  ASSERT_EQ(decoded.record->size(), 3048u);
  const std::vector<uint8_t> header = PackFrame(frame);
  EXPECT_EQ(std::memcmp(decoded.record->data(), header.data() + 20, 44), 0);
  EXPECT_EQ(PayloadOf(decoded.record), plain);
  EXPECT_EQ(decoded.record->data()[3047], 0);
}

TEST(FrameDecoderTest, ShortExpansionLeavesTheTailZero) {
  // Two bytes announced as eight: the six missing bytes and the trailer must be zero, not bytes
  // of the compressed stream that sat behind the header in the body.
  WireFrame frame = CompressedFrame(101, 2, {0xAA, 0xBB});
  frame.payloadLength = 8;
  const DecodedBody decoded = DecodeBody(HeaderOf(frame), BodyOf(frame));
  ASSERT_EQ(decoded.status, BodyStatus::Delivered);
  EXPECT_TRUE(decoded.ShortOutput());
  EXPECT_EQ(decoded.outputLength, 2u);
  ASSERT_EQ(decoded.record->size(), 56u);
  EXPECT_EQ(PayloadOf(decoded.record), (std::vector<uint8_t>{0xAA, 0xBB, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(decoded.record->data()[55], 0);
}

TEST(FrameDecoderTest, BadStreamsAreReported) {
  WireFrame garbage = PlainFrame(101, 2, {1, 2, 3, 4, 5, 6, 7, 8});
  garbage.compressed = 1;
  garbage.compressedLength = 8;
  garbage.payloadLength = 100;
  WireFrame tooLong = CompressedFrame(101, 2, std::vector<uint8_t>(500, 'x'));
  tooLong.payloadLength = 499;  // the stream expands beyond the announced length
  WireFrame truncated = CompressedFrame(101, 2, std::vector<uint8_t>(500, 'x'));
  truncated.compressedLength -= 3;

  for (const WireFrame& frame : {garbage, tooLong, truncated}) {
    const DecodedBody decoded = DecodeBody(HeaderOf(frame), BodyOf(frame));
    EXPECT_EQ(decoded.status, BodyStatus::UncompressFailed);
    EXPECT_NE(decoded.zlibCode, 0);
    EXPECT_EQ(decoded.record, nullptr);
  }
}

TEST(FrameDecoderTest, BodiesThatDoNotFitTheirHeaderAreRefused) {
  WireFrame huge = CompressedFrame(101, 2, {1, 2, 3});
  huge.payloadLength = kMaxDecompressedPayloadLength + 1;
  WireFrame largest = CompressedFrame(101, 2, {1, 2, 3});
  largest.payloadLength = kMaxDecompressedPayloadLength;
  WireFrame beyondBody = CompressedFrame(101, 2, {1, 2, 3});
  beyondBody.compressedLength += 1;

  const DecodedBody refusedHuge = DecodeBody(HeaderOf(huge), BodyOf(huge));
  EXPECT_EQ(refusedHuge.status, BodyStatus::Refused);
  EXPECT_STREQ(refusedHuge.refusal, "announced payload longer than the largest accepted");
  EXPECT_EQ(DecodeBody(HeaderOf(largest), BodyOf(largest)).status, BodyStatus::Delivered);
  EXPECT_EQ(DecodeBody(HeaderOf(beyondBody), BodyOf(beyondBody)).status, BodyStatus::Refused);
  EXPECT_EQ(DecodeBody(FrameHeader{}, CommMessage::Allocate(47)).status, BodyStatus::Refused);
}

}  // namespace
}  // namespace sondrel
