#include "protocol/byte_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>

namespace sondrel {
namespace {

constexpr std::array<uint8_t, 9> kBytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xFF};

TEST(ByteReaderTest, LoadsAreLittleEndian) {
  const ByteReader reader(kBytes);
  EXPECT_EQ(reader.U16At(0), 0x0201u);
  EXPECT_EQ(reader.U32At(0), 0x04030201u);
  EXPECT_EQ(reader.U64At(0), 0x0807060504030201u);
  EXPECT_EQ(reader.U32At(5), 0xFF080706u);
  EXPECT_EQ(reader.I32At(5), static_cast<int32_t>(0xFF080706u));
}

TEST(ByteReaderTest, LoadsNeverGoPastTheEnd) {
  const ByteReader reader(kBytes);
  EXPECT_FALSE(reader.U32At(6).has_value());
  EXPECT_FALSE(reader.U64At(2).has_value());
  EXPECT_FALSE(reader.U16At(9).has_value());
  // Offsets so large that offset + width wraps around must not pass the check.
  EXPECT_FALSE(reader.U32At(std::numeric_limits<size_t>::max() - 1).has_value());
  EXPECT_FALSE(ByteReader({}).U16At(0).has_value());
}

TEST(ByteReaderTest, ByteRangesAreExactOrClamped) {
  const ByteReader reader(kBytes);
  ASSERT_TRUE(reader.BytesAt(7, 2).has_value());
  EXPECT_EQ(reader.BytesAt(7, 2)->size(), 2u);
  EXPECT_FALSE(reader.BytesAt(7, 3).has_value());
  EXPECT_FALSE(reader.BytesAt(10, 0).has_value());
  EXPECT_TRUE(reader.BytesAt(9, 0).has_value());

  EXPECT_EQ(reader.ClampedBytesAt(7, 100).size(), 2u);
  EXPECT_EQ(reader.ClampedBytesAt(7, 1).size(), 1u);
  EXPECT_TRUE(reader.ClampedBytesAt(9, 4).empty());
  EXPECT_TRUE(reader.ClampedBytesAt(std::numeric_limits<size_t>::max(), 4).empty());
}

}  // namespace
}  // namespace sondrel
