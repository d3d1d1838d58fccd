// QxGuid: its text and byte forms against fixed values and Boost's UUID text, and the random
// identifiers it makes.
#include "slots/qx_guid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/uuid/uuid.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <set>
#include <string>

#include "protocol/server_identity.h"

namespace sondrel {
namespace {

struct GuidCase {
  QxGuid guid;
  ServerIdentity bytes;
  std::string text;
};

void PrintTo(const GuidCase& guid, std::ostream* out) {
  *out << guid.text;
}

class QxGuidFormsTest : public ::testing::TestWithParam<GuidCase> {};

TEST_P(QxGuidFormsTest, TextAndByteFormsGoMostSignificantFirst) {
  const GuidCase& c = GetParam();
  EXPECT_EQ(c.guid.ToBytes(), c.bytes);
  EXPECT_EQ(QxGuid::FromBytes(c.bytes), c.guid);
  EXPECT_EQ(c.guid.ToString(), c.text);
  // The server's running identity prints the same.
  EXPECT_EQ(FormatServerIdentity(c.bytes), c.text);
  // The standard text of the UUID made of the same 16 bytes.
  boost::uuids::uuid uuid;
  std::copy(c.bytes.begin(), c.bytes.end(), uuid.begin());
  EXPECT_EQ(boost::uuids::to_string(uuid), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, QxGuidFormsTest,
    ::testing::Values(GuidCase{QxGuid::Null(), {}, "00000000-0000-0000-0000-000000000000"},
                      GuidCase{QxGuid::FakeServer(),
                               {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1},
                               "00000000-0000-0000-0000-000000000001"},
                      GuidCase{QxGuid{{0xCCDDEEFF, 0x8899AABB, 0x44556677, 0x00112233}},
                               {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA,
                                0xBB, 0xCC, 0xDD, 0xEE, 0xFF},
                               "00112233-4455-6677-8899-aabbccddeeff"},
                      GuidCase{QxGuid{{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}},
                               {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                               "ffffffff-ffff-ffff-ffff-ffffffffffff"}));

TEST(QxGuidTest, EqualityComparesEveryByte) {
  const QxGuid base{{0xCCDDEEFF, 0x8899AABB, 0x44556677, 0x00112233}};
  for (size_t i = 0; i < 16; ++i) {
    ServerIdentity bytes = base.ToBytes();
    bytes[i] ^= 0x01;
    EXPECT_NE(QxGuid::FromBytes(bytes), base) << "byte " << i;
  }
  EXPECT_EQ(QxGuid::FromBytes(base.ToBytes()), base);
  EXPECT_TRUE(QxGuid::Null().IsNull());
  EXPECT_FALSE(QxGuid::FakeServer().IsNull());
}

TEST(QxGuidTest, NewIdentifiersAreDistinctVersion4Uuids) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const ServerIdentity bytes = QxGuid::NewRandom().ToBytes();
    EXPECT_EQ(bytes[6] >> 4, 4) << "version nibble";
    EXPECT_EQ(bytes[8] >> 6, 2) << "RFC 4122 variant";
    seen.insert(FormatServerIdentity(bytes));
  }
  EXPECT_EQ(seen.size(), 200u);
}

}  // namespace
}  // namespace sondrel
