#include "protocol/server_identity.h"

#include <gtest/gtest.h>

namespace sondrel {
namespace {

TEST(ServerIdentityTest, TextShowsTheBytesInWireOrder) {
  const ServerIdentity identity = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                                   0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
  EXPECT_EQ(FormatServerIdentity(identity), "01234567-89ab-cdef-1032-547698badcfe");
  EXPECT_EQ(FormatServerIdentity(ServerIdentity{}), "00000000-0000-0000-0000-000000000000");
}

}  // namespace
}  // namespace sondrel
