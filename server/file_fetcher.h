// Where a scan's file bytes come from: the request's initial buffer when it covers what the
// engine reads, otherwise aligned blocks fetched from the client with read requests (101) and
// assembled from its answer pieces (102). While the engine reads in order, several blocks are
// asked for ahead of it, which the client answers one after the other. A piece is kept where it
// arrived, in its received message, and copied once: into the engine's buffer.
//
// Each piece is checked against the request it answers: its offset must continue where the
// previous piece ended, its requested count must be the one asked, and its data must stay within
// the range asked. Anything else ends the fetch (and so the scan) with a failure; so do a read
// failure the client reports, a short answer, the deadline and a cancellation. A failed fetch
// never yields bytes again.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace sondrel::server {

struct FetchSettings {
  uint32_t blockSize = 1u << 20;
  // Read requests outstanding at most, the one the engine waits for included.
  unsigned window = 4;
};

class FileFetcher {
 public:
  using Clock = std::chrono::steady_clock;
  // Sends one read request for `count` bytes at `offset`, with the time the client may take.
  using RequestSender =
      std::function<void(uint64_t offset, uint32_t count, std::chrono::milliseconds wait)>;

  enum class PieceCheck {
    Accepted,
    // The piece does not answer what was asked; the fetch has failed.
    Refused,
  };

  FileFetcher(uint64_t fileSize, uint64_t initialOffset, std::span<const uint8_t> initialBuffer,
              FetchSettings settings, Clock::time_point deadline, RequestSender sender);

  // The engine's read: up to `count` bytes at `offset`; 0 at the end of the file, -1 once the
  // fetch has failed. Blocks until the bytes are there.
  int64_t Read(void* buffer, size_t count, uint64_t offset);

  // One answer piece; `final` for the piece of kind 2 that ends a read request's answer. `data`
  // lies inside `owner` (the received message), which the fetch keeps as long as it needs the
  // bytes; without an owner the bytes must stay valid until the fetch ends.
  PieceCheck OnPiece(bool final, uint64_t offset, uint32_t requestedCount, int32_t status,
                     std::span<const uint8_t> data, std::shared_ptr<const void> owner = nullptr);
  // Ends the fetch with `status` unless it has already failed.
  void Fail(int32_t status, const std::string& reason);

  bool failed() const;
  int32_t failureStatus() const;
  std::string failureReason() const;
  uint64_t bytesPulled() const;
  uint32_t readRequests() const;

 private:
  struct Piece {
    std::span<const uint8_t> data;
    std::shared_ptr<const void> owner;
  };
  struct Block {
    uint64_t start = 0;  // first byte fetched (past the initial buffer where it covers the block)
    uint32_t count = 0;
    uint32_t received = 0;
    bool complete = false;
    std::vector<Piece> pieces;  // back to back from `start`
    uint64_t lastUse = 0;

    // Copies `length` bytes from `position` (inside the block) to `out`.
    void CopyOut(uint64_t position, uint8_t* out, uint64_t length) const;
  };

  bool InInitial(uint64_t position) const;
  uint64_t BlockIndex(uint64_t position) const { return position / settings_.blockSize; }
  // Asks for block `index` unless it is there or asked for already; returns it, or null when the
  // initial buffer covers all of it.
  Block* Request(uint64_t index, std::vector<Block*>& toSend);
  void DropOldBlocks();
  void FailLocked(int32_t status, const std::string& reason);

  const uint64_t fileSize_;
  const uint64_t initialOffset_;
  const std::span<const uint8_t> initial_;
  const FetchSettings settings_;
  const Clock::time_point deadline_;
  const RequestSender sender_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<uint64_t, Block> blocks_;  // by block index
  std::deque<uint64_t> outstanding_;  // block indexes asked for, in the order asked
  uint64_t useCounter_ = 0;
  uint64_t nextSequential_ = 0;  // the block the engine reads next when it reads in order
  uint64_t pulled_ = 0;
  uint32_t requests_ = 0;
  bool failed_ = false;
  int32_t failureStatus_ = 0;
  std::string failureReason_;
};

}  // namespace sondrel::server
