#include "scan/scan_context.h"

#include <gtest/gtest.h>

namespace sondrel {
namespace {

TEST(ScanContextTest, StartsWithoutChannelAndWithTheInitialResultBlocks) {
  const ScanContext context;
  EXPECT_EQ(context.channel, -1);
  EXPECT_EQ(context.verdict, 0);
  EXPECT_EQ(context.callbacks, nullptr);
  EXPECT_TRUE(context.hashCopy.empty());
  const ResultBlock initial{{0, 0, 0, 0, 16, 40, -1, 0, 0, 0, 0}};
  EXPECT_EQ(context.sentResultBlock, initial);
  EXPECT_EQ(context.receivedResultBlock, initial);
  EXPECT_EQ(context.fileReader.buffer.size(), 65536u);
  EXPECT_EQ(context.fileReader.bytesBuffered, 0u);
  EXPECT_EQ(context.fileReader.cacheTreshold, 0);
  EXPECT_FALSE(context.fileReader.hashNonPE);
  EXPECT_TRUE(context.fileReader.hashSmallNonPE);
  EXPECT_EQ(context.disinfectFlags, 0);
}

}  // namespace
}  // namespace sondrel
