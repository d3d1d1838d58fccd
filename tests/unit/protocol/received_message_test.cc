#include "protocol/received_message.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/fake_server/wire_frame.h"

namespace sondrel {
namespace {

// A received record: the frame without its 20-byte frame header.
std::vector<uint8_t> RecordOf(const test::WireFrame& frame) {
  const std::vector<uint8_t> bytes = test::PackFrame(frame);
  return {bytes.begin() + 20, bytes.end()};
}

TEST(ReceivedMessageTest, FieldsComeFromTheirOffsets) {
  test::WireFrame frame = test::PlainFrame(0xF0000003, 2, {9, 8, 7});
  frame.requestSeq = 0x10203040;
  frame.channelIndex = -1;
  frame.conversationId = 0x0102030405060708;
  frame.sendCount = 5;
  frame.answerTimeoutMs = -1;
  frame.serverStatus = 0x0C;
  const std::vector<uint8_t> record = RecordOf(frame);
  const ReceivedMessage message(record);
  EXPECT_EQ(message.route(), 0xFFFFFFFF10203040u);
  EXPECT_EQ(message.requestSeq(), 0x10203040u);
  EXPECT_EQ(message.channelIndex(), -1);
  EXPECT_EQ(message.conversationId(), 0x0102030405060708u);
  EXPECT_EQ(message.messageType(), 0xF0000003u);
  EXPECT_EQ(message.messageKind(), 2u);
  EXPECT_EQ(message.sendCount(), 5u);
  EXPECT_EQ(message.payloadLength(), 3u);
  EXPECT_EQ(message.answerTimeoutMs(), -1);
  EXPECT_EQ(message.serverStatus(), 0x0Cu);
  EXPECT_EQ(std::vector<uint8_t>(message.payload().begin(), message.payload().end()),
            (std::vector<uint8_t>{9, 8, 7}));
}

TEST(ReceivedMessageTest, PayloadIsOnlyWhatArrived) {
  struct Case {
    uint32_t claimed;
    size_t payloadBytes;
    size_t expected;
  };
  const Case cases[] = {
      {3, 3, 3},          {8, 4, 4},  // a ping answer that claims a timestamp it does not carry
      {0xFFFFFFFF, 2, 2}, {0, 6, 0}, {1, 6, 1},
  };
  for (const Case& c : cases) {
    test::WireFrame frame =
        test::PlainFrame(0xF0000002, 1, std::vector<uint8_t>(c.payloadBytes, 1));
    frame.payloadLength = c.claimed;
    const std::vector<uint8_t> record = RecordOf(frame);
    EXPECT_EQ(ReceivedMessage(record).payload().size(), c.expected) << "claimed " << c.claimed;
  }
}

TEST(ReceivedMessageTest, ShortRecordsReadAsZero) {
  const std::vector<uint8_t> record(20, 0xFF);
  const ReceivedMessage message(record);
  EXPECT_EQ(message.requestSeq(), 0xFFFFFFFFu);
  EXPECT_EQ(message.messageType(), 0xFFFFFFFFu);
  EXPECT_EQ(message.messageKind(), 0u);
  EXPECT_EQ(message.payloadLength(), 0u);
  EXPECT_TRUE(message.payload().empty());
}

}  // namespace
}  // namespace sondrel
