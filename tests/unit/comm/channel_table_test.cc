#include "comm/channel_table.h"

#include <gtest/gtest.h>

#include <memory>

#include "comm/request_result.h"
#include "comm/sock_comm_session.h"
#include "comm/sock_thread_channel.h"

namespace sondrel {
namespace {

void Handler(const CommMessagePtr&, void*, void*) {}

class ChannelTableTest : public testing::Test {
 protected:
  std::shared_ptr<SockCommSession> NewSession() {
    return std::make_shared<SockCommSession>("qx.sondrel.comm", &table_);
  }
  // Acquires a channel bound to `session`, counting how often the table is published.
  int32_t Acquire(const std::shared_ptr<SockCommSession>& session) {
    return table_.AcquireChannel(session, &Handler, &handlerContext_, [this] { ++published_; });
  }

  ChannelTable table_;
  int handlerContext_ = 0;
  int published_ = 0;
};

TEST_F(ChannelTableTest, ChannelsAreAppendedThenReused) {
  const auto session = NewSession();
  EXPECT_EQ(Acquire(session), 0);
  EXPECT_EQ(Acquire(nullptr), 1);
  EXPECT_EQ(Acquire(session), 2);
  EXPECT_EQ(published_, 3);
  EXPECT_EQ(table_.size(), 3u);
  for (int32_t index = 0; index < 3; ++index) {
    ASSERT_NE(table_.At(index), nullptr);
    EXPECT_EQ(table_.At(index)->index(), index);
    EXPECT_TRUE(table_.At(index)->inUse());
  }

  const auto first = table_.At(1);
  table_.ReleaseChannel(1);
  EXPECT_FALSE(first->inUse());
  // The released channel is taken again, as the same object, without publishing the table.
  EXPECT_EQ(Acquire(session), 1);
  EXPECT_EQ(table_.At(1), first);
  EXPECT_TRUE(first->inUse());
  EXPECT_EQ(published_, 3);
  EXPECT_EQ(table_.BoundSession(1), session);
}

TEST_F(ChannelTableTest, IndicesOutsideTheTableFindNothing) {
  Acquire(nullptr);
  for (const int32_t index : {1, 2, 0x7FFFFFFF, -1, -5, kSpecialChannelIndex}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(table_.At(index), nullptr);
    table_.ReleaseChannel(index);
  }
  EXPECT_EQ(table_.size(), 1u);
  EXPECT_TRUE(table_.At(0)->inUse());
}

TEST_F(ChannelTableTest, ProviderReturnsAChannelOnlyToItsBoundSession) {
  const auto mine = NewSession();
  const auto other = NewSession();
  const int32_t index = Acquire(mine);
  EXPECT_EQ(table_.GetChannel(index, mine.get()), table_.At(index));
  EXPECT_EQ(table_.GetChannel(index, other.get()), nullptr);
  EXPECT_EQ(table_.GetChannel(index + 1, mine.get()), nullptr);

  table_.Bind(index, other);
  EXPECT_EQ(table_.GetChannel(index, mine.get()), nullptr);
  EXPECT_EQ(table_.GetChannel(index, other.get()), table_.At(index));

  // Bound to none, then released: nobody gets it.
  table_.Bind(index, nullptr);
  EXPECT_EQ(table_.GetChannel(index, other.get()), nullptr);
  EXPECT_EQ(table_.BoundSession(index), nullptr);
  table_.Bind(index, other);
  table_.ReleaseChannel(index);
  EXPECT_EQ(table_.GetChannel(index, other.get()), nullptr);
  EXPECT_EQ(table_.BoundSession(index), nullptr);
}

TEST_F(ChannelTableTest, ClearingBindingsKeepsTheChannels) {
  const auto session = NewSession();
  Acquire(session);
  Acquire(session);
  table_.ClearBindings();
  EXPECT_EQ(table_.BoundSession(0), nullptr);
  EXPECT_EQ(table_.BoundSession(1), nullptr);
  EXPECT_EQ(table_.Channels().size(), 2u);
}

TEST_F(ChannelTableTest, SpecialChannelIsOutsideTheTableAndServesEverySession) {
  EXPECT_EQ(table_.SpecialChannel(), nullptr);
  EXPECT_EQ(table_.GetChannel(kSpecialChannelIndex, nullptr), nullptr);
  ASSERT_TRUE(table_.CreateSpecialChannel());
  const auto special = table_.SpecialChannel();
  ASSERT_NE(special, nullptr);
  EXPECT_EQ(special->index(), kSpecialChannelIndex);
  EXPECT_TRUE(special->inUse());
  EXPECT_EQ(table_.size(), 0u);
  const auto session = NewSession();
  EXPECT_EQ(table_.GetChannel(kSpecialChannelIndex, session.get()), special);
  EXPECT_EQ(table_.GetChannel(kSpecialChannelIndex, nullptr), special);
}

}  // namespace
}  // namespace sondrel
