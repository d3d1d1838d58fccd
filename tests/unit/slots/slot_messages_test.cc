// The slot messages' payloads byte by byte, and which answers to an allocation grant a slot.
#include "slots/slot_messages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "unit/slots/scripted_endpoints.h"

namespace sondrel {
namespace {

constexpr ServerIdentity kSlot = {0xA0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0xAF};

CommMessagePtr Record(const std::vector<uint8_t>& bytes) {
  auto* block = static_cast<uint8_t*>(std::calloc(bytes.size(), 1));
  std::memcpy(block, bytes.data(), bytes.size());
  return CommMessage::Adopt(block, bytes.size());
}

TEST(SlotMessagesTest, PayloadsArePackedLittleEndianWithTheSlotMostSignificantFirst) {
  const auto plain = AllocationPayload(false);
  EXPECT_EQ(std::vector<uint8_t>(plain.begin(), plain.end()),
            (std::vector<uint8_t>{8, 0, 0, 0, 0, 0, 0, 0}));
  const auto forced = AllocationPayload(true);
  EXPECT_EQ(std::vector<uint8_t>(forced.begin(), forced.end()),
            (std::vector<uint8_t>{8, 0, 0, 0, 1, 0, 0, 0}));
  const auto slot = SlotPayload(QxGuid::FromBytes(kSlot));
  EXPECT_EQ(std::vector<uint8_t>(slot.begin(), slot.end()), test::GrantPayload(kSlot));
  EXPECT_EQ(slot[4], 0xA0);
  EXPECT_EQ(slot[19], 0xAF);
}

struct AnswerCase {
  std::string name;
  std::vector<uint8_t> payload;
  uint32_t announcedLength;
  bool grants;
};

void PrintTo(const AnswerCase& answer, std::ostream* out) {
  *out << answer.name;
}

class GrantedSlotTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(GrantedSlotTest, OnlyAWholeTwentyByteRecordGrantsASlot) {
  const AnswerCase& c = GetParam();
  const QxGuid granted = GrantedSlot(*Record(test::AnswerRecord(c.payload, c.announcedLength)));
  EXPECT_EQ(granted, c.grants ? QxGuid::FromBytes(kSlot) : QxGuid::Null());
}

std::vector<uint8_t> WithSizeField(uint32_t size) {
  std::vector<uint8_t> payload = test::GrantPayload(kSlot);
  payload[0] = static_cast<uint8_t>(size);
  return payload;
}

std::vector<uint8_t> Longer() {
  std::vector<uint8_t> payload = test::GrantPayload(kSlot);
  payload.resize(28, 0xEE);
  return payload;
}

std::vector<uint8_t> Truncated() {
  std::vector<uint8_t> payload = test::GrantPayload(kSlot);
  payload.resize(12);
  return payload;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, GrantedSlotTest,
    ::testing::Values(AnswerCase{"Grant", test::GrantPayload(kSlot), 20, true},
                      AnswerCase{"LongerPayload", Longer(), 28, true},
                      AnswerCase{"Empty", {}, 0, false},
                      AnswerCase{"SizeField21", WithSizeField(21), 20, false},
                      AnswerCase{"SizeField8", WithSizeField(8), 20, false},
                      AnswerCase{"AnnouncedShort", test::GrantPayload(kSlot), 19, false},
                      // The announced length claims more bytes than the record holds.
                      AnswerCase{"Truncated", Truncated(), 20, false}),
    [](const auto& answer) { return answer.param.name; });

}  // namespace
}  // namespace sondrel
