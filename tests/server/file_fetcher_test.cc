// The fetch behind the engine's reads: what is served from the initial buffer, which blocks are
// asked for (aligned, clamped to the file, past the initial buffer, ahead while reading in
// order), and that a failed, late or cancelled fetch never yields bytes.
#include "server/file_fetcher.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "server/final_status.h"

namespace sondrel::server {
namespace {

using Clock = std::chrono::steady_clock;

struct Asked {
  uint64_t offset;
  uint32_t count;
  friend bool operator==(const Asked&, const Asked&) = default;
};

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<uint8_t>(i % 251);
  }
  return bytes;
}

// A fetcher whose read requests are answered from `file` in the order asked by a thread of their
// own, as a client does, or only recorded.
class FetcherTest : public testing::Test {
 protected:
  void Make(uint64_t size, std::span<const uint8_t> initial, FetchSettings settings,
            bool answer = true, Clock::duration timeout = std::chrono::seconds(5)) {
    StopAnswering();
    file_ = Pattern(size);
    asked_.clear();
    fetcher_ = std::make_unique<FileFetcher>(
        size, 0, initial, settings, Clock::now() + timeout,
        [this, answer](uint64_t offset, uint32_t count, std::chrono::milliseconds) {
          std::lock_guard<std::mutex> lock(mutex_);
          asked_.push_back({offset, count});
          if (answer) {
            pending_.push_back({offset, count});
            changed_.notify_all();
          }
        });
    stop_ = false;
    answerer_ = std::thread([this] { Answer(); });
  }
  void Answer() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
      changed_.wait(lock, [this] { return stop_ || !pending_.empty(); });
      if (pending_.empty()) {
        return;
      }
      const Asked next = pending_.front();
      pending_.erase(pending_.begin());
      lock.unlock();
      fetcher_->OnPiece(true, next.offset, next.count, 0, {file_.data() + next.offset, next.count});
      lock.lock();
    }
  }
  void StopAnswering() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    if (answerer_.joinable()) {
      answerer_.join();
    }
  }
  void TearDown() override { StopAnswering(); }

  std::vector<uint8_t> file_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Asked> asked_;
  std::vector<Asked> pending_;
  bool stop_ = false;
  std::thread answerer_;
  std::unique_ptr<FileFetcher> fetcher_;
};

TEST_F(FetcherTest, ReadsInOrderFetchAlignedBlocksAheadAndPastTheInitialBuffer) {
  const std::vector<uint8_t> initial = Pattern(1000);
  Make(10000, initial, {.blockSize = 4096, .window = 2});
  std::vector<uint8_t> read(10000);
  for (uint64_t offset = 0; offset < 10000; offset += 512) {
    const auto count = std::min<uint64_t>(512, 10000 - offset);
    ASSERT_EQ(fetcher_->Read(read.data() + offset, count, offset), static_cast<int64_t>(count));
  }
  EXPECT_EQ(read, file_);
  EXPECT_EQ(asked_, (std::vector<Asked>{{1000, 3096}, {4096, 4096}, {8192, 1808}}));
  EXPECT_EQ(fetcher_->bytesPulled(), 9000u);
  EXPECT_EQ(fetcher_->readRequests(), 3u);
  EXPECT_EQ(fetcher_->Read(read.data(), 10, 10000), 0) << "the end of the file";
  EXPECT_EQ(fetcher_->Read(read.data(), 100, 9950), 50) << "cut at the end of the file";
}

TEST_F(FetcherTest, TheInitialBufferAloneServesAFileItHolds) {
  const std::vector<uint8_t> initial = Pattern(300);
  Make(300, initial, {});
  std::vector<uint8_t> read(300);
  ASSERT_EQ(fetcher_->Read(read.data(), 300, 0), 300);
  EXPECT_EQ(read, initial);
  EXPECT_TRUE(asked_.empty());
}

TEST_F(FetcherTest, PiecesThatDoNotAnswerTheRequestFailTheFetchForGood) {
  struct Case {
    const char* what;
    bool final;
    uint64_t offset;
    uint32_t count;
    int32_t status;
    size_t length;
    int32_t expected;
  };
  const Case cases[] = {
      {"wrong offset", true, 1, 4096, 0, 4095, final_status::kProtocolViolation},
      {"wrong count", true, 0, 4095, 0, 4095, final_status::kProtocolViolation},
      {"too many bytes", true, 0, 4096, 0, 4097, final_status::kProtocolViolation},
      {"chunk without 234", false, 0, 4096, 0, 100, final_status::kProtocolViolation},
      {"read failed", true, 0, 4096, 30, 10, final_status::kClientReadError},
      {"short", true, 0, 4096, 0, 4000, final_status::kClientReadError},
  };
  for (const Case& c : cases) {
    Make(8192, {}, {.blockSize = 4096, .window = 1}, false);
    std::vector<uint8_t> data(c.length, 1);
    std::thread reader([&] {
      std::vector<uint8_t> read(100);
      EXPECT_EQ(fetcher_->Read(read.data(), 100, 0), -1) << c.what;
    });
    while (fetcher_->readRequests() == 0) {
      std::this_thread::yield();
    }
    fetcher_->OnPiece(c.final, c.offset, c.count, c.status, data);
    reader.join();
    EXPECT_EQ(fetcher_->failureStatus(), c.expected) << c.what;
    std::vector<uint8_t> read(10);
    EXPECT_EQ(fetcher_->Read(read.data(), 10, 0), -1) << c.what << ": failed for good";
  }
  Make(8192, {}, {}, false);
  EXPECT_EQ(fetcher_->OnPiece(true, 0, 10, 0, {}), FileFetcher::PieceCheck::Refused)
      << "a piece nothing asked for";
}

TEST_F(FetcherTest, AReadWaitsNoLongerThanTheDeadlineOrACancellation) {
  Make(8192, {}, {}, false, std::chrono::milliseconds(200));
  std::vector<uint8_t> read(10);
  const auto started = Clock::now();
  EXPECT_EQ(fetcher_->Read(read.data(), 10, 0), -1);
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(2));
  EXPECT_EQ(fetcher_->failureStatus(), final_status::kTimedOut);

  Make(8192, {}, {}, false);
  std::thread canceller([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    fetcher_->Fail(final_status::kAbandoned, "gone");
  });
  EXPECT_EQ(fetcher_->Read(read.data(), 10, 0), -1);
  canceller.join();
  EXPECT_EQ(fetcher_->failureStatus(), final_status::kAbandoned);
}

}  // namespace
}  // namespace sondrel::server
