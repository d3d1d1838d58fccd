// Recycled message blocks: a released piece-sized block is handed out again, without the faults
// of fresh memory, yet a zeroed request still gets zeros, a filled one never sends stale bytes
// beyond its length, and the blocks kept stay few.
#include "protocol/payload_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "protocol/buffer_descriptor.h"
#include "protocol/comm_message.h"
#include "protocol/message_builder.h"
#include "support/fake_server/wire_frame.h"

namespace sondrel {
namespace {

constexpr uint32_t kPiece = kMaxFilePiece + BufferDescriptor::kSize;

TEST(PayloadBufferTest, AReleasedPieceBufferIsHandedOutAgainZeroedWhenAskedSo) {
  uint8_t* first = AllocPayload(kPiece);
  ASSERT_NE(first, nullptr);
  std::memset(first, 0xEE, kPiece);
  FreePayload(first);
  uint8_t* again = AllocPayload(kPiece);
  EXPECT_EQ(again, first) << "the block was recycled";
  const std::vector<uint8_t> zeros(kPiece, 0);
  EXPECT_EQ(std::memcmp(again, zeros.data(), kPiece), 0);
  FreePayload(again);
}

TEST(PayloadBufferTest, AFilledBufferSendsOnlyItsLengthAndAZeroTrailer) {
  uint8_t* stale = AllocPayloadForFill(kPiece);
  ASSERT_NE(stale, nullptr);
  std::memset(stale - 64, 0xEE, kPiece + 68);
  FreePayload(stale);
  uint8_t* piece = AllocPayloadForFill(kPiece);
  ASSERT_EQ(piece, stale);
  for (size_t i = 0; i < 64; ++i) {
    if (i != 48 && i != 49 && i != 50) {
      EXPECT_EQ(piece[static_cast<ptrdiff_t>(i) - 64], 0) << "header byte " << i;
    }
  }
  std::memset(piece, 'p', 100);
  const CommMessagePtr message = BuildMessage({.messageType = 102}, piece, 100, false, {});
  ASSERT_NE(message, nullptr);
  ASSERT_EQ(message->size(), 168u);
  const auto frame = test::ParseFrame(message->bytes());
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(frame->payload, std::vector<uint8_t>(100, 'p'));
  EXPECT_EQ(frame->frameReserved, 0u);
  EXPECT_EQ(std::memcmp(message->data() + 164, "\0\0\0\0", 4), 0) << "the trailer";
}

TEST(PayloadBufferTest, FewBlocksAreKeptAndOtherSizesComeFromTheHeap) {
  std::vector<CommMessagePtr> messages;
  for (size_t i = 0; i < kMostKeptBlocks + 4; ++i) {
    messages.push_back(CommMessage::AllocateForRead(kRecycledBlockSize));
    ASSERT_NE(messages.back(), nullptr);
  }
  messages.clear();
  EXPECT_EQ(KeptBlocks(), kMostKeptBlocks);
  const CommMessagePtr small = CommMessage::Allocate(100);
  const CommMessagePtr large = CommMessage::Allocate(kRecycledBlockSize + 1);
  EXPECT_EQ(KeptBlocks(), kMostKeptBlocks) << "neither size is taken from the kept blocks";
  // A block from plain calloc is adopted and released like any other.
  auto* plain = static_cast<uint8_t*>(std::calloc(kRecycledBlockSize, 1));
  EXPECT_NE(CommMessage::Adopt(plain, kRecycledBlockSize), nullptr);
  EXPECT_EQ(KeptBlocks(), kMostKeptBlocks);
}

}  // namespace
}  // namespace sondrel
