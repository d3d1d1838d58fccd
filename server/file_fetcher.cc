#include "server/file_fetcher.h"

#include <algorithm>
#include <cstring>

#include "protocol/buffer_descriptor.h"
#include "server/final_status.h"

namespace sondrel::server {

FileFetcher::FileFetcher(uint64_t fileSize, uint64_t initialOffset,
                         std::span<const uint8_t> initialBuffer, FetchSettings settings,
                         Clock::time_point deadline, RequestSender sender)
    : fileSize_(fileSize),
      initialOffset_(initialOffset),
      initial_(initialBuffer),
      settings_{std::max<uint32_t>(settings.blockSize, 1), std::max(settings.window, 1u)},
      deadline_(deadline),
      sender_(std::move(sender)) {}

bool FileFetcher::InInitial(uint64_t position) const {
  return position >= initialOffset_ && position - initialOffset_ < initial_.size();
}

FileFetcher::Block* FileFetcher::Request(uint64_t index, std::vector<Block*>& toSend) {
  const auto found = blocks_.find(index);
  if (found != blocks_.end()) {
    return &found->second;
  }
  const uint64_t blockStart = index * settings_.blockSize;
  const uint64_t blockEnd = std::min<uint64_t>(blockStart + settings_.blockSize, fileSize_);
  uint64_t start = blockStart;
  if (InInitial(start)) {
    start = std::min<uint64_t>(initialOffset_ + initial_.size(), blockEnd);
  }
  if (start >= blockEnd) {
    return nullptr;
  }
  Block block;
  block.start = start;
  block.count = static_cast<uint32_t>(blockEnd - start);
  Block& stored = blocks_.emplace(index, std::move(block)).first->second;
  outstanding_.push_back(index);
  toSend.push_back(&stored);
  return &stored;
}

int64_t FileFetcher::Read(void* buffer, size_t count, uint64_t offset) {
  auto* out = static_cast<uint8_t*>(buffer);
  std::unique_lock<std::mutex> lock(mutex_);
  if (failed_) {
    return -1;
  }
  if (offset >= fileSize_) {
    return 0;
  }
  const uint64_t wanted = std::min<uint64_t>(count, fileSize_ - offset);
  uint64_t copied = 0;
  while (copied < wanted) {
    const uint64_t position = offset + copied;
    if (InInitial(position)) {
      const uint64_t length =
          std::min<uint64_t>(wanted - copied, initialOffset_ + initial_.size() - position);
      std::memcpy(out + copied, initial_.data() + (position - initialOffset_), length);
      copied += length;
      continue;
    }
    const uint64_t index = BlockIndex(position);
    std::vector<Block*> toSend;
    Block* block = Request(index, toSend);
    if (block == nullptr) {
      FailLocked(final_status::kEngineError, "a read inside the initial buffer missed it");
      return -1;
    }
    if (index == nextSequential_ || index + 1 == nextSequential_) {
      for (uint64_t ahead = index + 1;
           ahead < index + settings_.window && ahead * settings_.blockSize < fileSize_; ++ahead) {
        Request(ahead, toSend);
      }
    }
    for (const Block* asked : toSend) {
      ++requests_;
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::max(deadline_ - Clock::now(), Clock::duration::zero()));
      sender_(asked->start, asked->count, wait);
    }
    if (!changed_.wait_until(lock, deadline_, [&] { return failed_ || block->complete; })) {
      FailLocked(final_status::kTimedOut, "the client did not deliver the bytes in time");
    }
    if (failed_) {
      return -1;
    }
    const uint64_t length =
        std::min<uint64_t>(wanted - copied, block->start + block->count - position);
    block->CopyOut(position, out + copied, length);
    block->lastUse = ++useCounter_;
    copied += length;
    nextSequential_ = BlockIndex(position + length);
    DropOldBlocks();
  }
  return static_cast<int64_t>(copied);
}

void FileFetcher::Block::CopyOut(uint64_t position, uint8_t* out, uint64_t length) const {
  uint64_t pieceStart = start;
  for (const Piece& piece : pieces) {
    const uint64_t pieceEnd = pieceStart + piece.data.size();
    if (length > 0 && position < pieceEnd) {
      const uint64_t part = std::min<uint64_t>(length, pieceEnd - position);
      std::memcpy(out, piece.data.data() + (position - pieceStart), part);
      out += part;
      position += part;
      length -= part;
    }
    pieceStart = pieceEnd;
  }
}

void FileFetcher::DropOldBlocks() {
  while (blocks_.size() > settings_.window + 1) {
    auto oldest = blocks_.end();
    for (auto it = blocks_.begin(); it != blocks_.end(); ++it) {
      // Blocks asked for ahead and not read yet stay.
      const bool used = it->second.complete && it->second.lastUse != 0;
      if (used && (oldest == blocks_.end() || it->second.lastUse < oldest->second.lastUse)) {
        oldest = it;
      }
    }
    if (oldest == blocks_.end()) {
      return;
    }
    blocks_.erase(oldest);
  }
}

FileFetcher::PieceCheck FileFetcher::OnPiece(bool final, uint64_t offset, uint32_t requestedCount,
                                             int32_t status, std::span<const uint8_t> data,
                                             std::shared_ptr<const void> owner) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failed_) {
    return PieceCheck::Accepted;
  }
  if (outstanding_.empty()) {
    FailLocked(final_status::kProtocolViolation, "a read answer that nothing asked for");
    return PieceCheck::Refused;
  }
  Block& block = blocks_.at(outstanding_.front());
  if (requestedCount != block.count) {
    FailLocked(final_status::kProtocolViolation, "a read answer for another count than asked");
    return PieceCheck::Refused;
  }
  if (offset != block.start + block.received) {
    FailLocked(final_status::kProtocolViolation, "a read answer at another offset than asked");
    return PieceCheck::Refused;
  }
  if (data.size() > block.count - block.received) {
    FailLocked(final_status::kProtocolViolation, "a read answer beyond the range asked");
    return PieceCheck::Refused;
  }
  if (!final && status != kMorePiecesFollow) {
    FailLocked(final_status::kProtocolViolation, "a read answer piece with a wrong status");
    return PieceCheck::Refused;
  }
  if (!data.empty()) {
    block.pieces.push_back({data, std::move(owner)});
  }
  block.received += static_cast<uint32_t>(data.size());
  pulled_ += data.size();
  if (final) {
    outstanding_.pop_front();
    if (status != 0) {
      FailLocked(final_status::kClientReadError,
                 "the client's read failed with status " + std::to_string(status));
    } else if (block.received < block.count) {
      FailLocked(final_status::kClientReadError, "the client read fewer bytes than the file has");
    } else {
      block.complete = true;
    }
  }
  changed_.notify_all();
  return PieceCheck::Accepted;
}

void FileFetcher::Fail(int32_t status, const std::string& reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  FailLocked(status, reason);
}

void FileFetcher::FailLocked(int32_t status, const std::string& reason) {
  if (!failed_) {
    failed_ = true;
    failureStatus_ = status;
    failureReason_ = reason;
  }
  changed_.notify_all();
}

bool FileFetcher::failed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failed_;
}

int32_t FileFetcher::failureStatus() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failureStatus_;
}

std::string FileFetcher::failureReason() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failureReason_;
}

uint64_t FileFetcher::bytesPulled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pulled_;
}

uint32_t FileFetcher::readRequests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

}  // namespace sondrel::server
