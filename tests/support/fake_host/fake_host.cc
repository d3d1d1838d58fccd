#include "support/fake_host/fake_host.h"

#include <algorithm>
#include <utility>

namespace sondrel::test {

uint8_t PatternByte(uint64_t offset) {
  uint64_t z = offset + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return static_cast<uint8_t>(z ^ (z >> 31));
}

std::vector<uint8_t> PatternFile(uint64_t size) {
  std::vector<uint8_t> file(size);
  for (uint64_t i = 0; i < size; ++i) {
    file[i] = PatternByte(i);
  }
  return file;
}

std::ostream& operator<<(std::ostream& out, const FileRange& range) {
  return out << "{" << range.offset << ", " << range.count << "}";
}

FakeHost::FakeHost(std::vector<uint8_t> file) : file_(std::move(file)), size_(file_.size()) {
  callbacks_.getSize = &FakeHost::GetSizeThunk;
  callbacks_.read = &FakeHost::ReadThunk;
  callbacks_.user = this;
}

void FakeHost::SetSize(uint64_t size) {
  std::lock_guard guard(lock_);
  size_ = size;
}

uint64_t FakeHost::size() const {
  std::lock_guard guard(lock_);
  return size_;
}

uint8_t FakeHost::ByteAt(uint64_t offset) const {
  return offset < file_.size() ? file_[offset] : PatternByte(offset);
}

std::vector<uint8_t> FakeHost::Bytes(uint64_t offset, uint64_t count) const {
  std::lock_guard guard(lock_);
  std::vector<uint8_t> bytes;
  for (uint64_t i = offset; i < size_ && i - offset < count; ++i) {
    bytes.push_back(ByteAt(i));
  }
  return bytes;
}

void FakeHost::FailGetSize(int32_t result) {
  std::lock_guard guard(lock_);
  getSizeResult_ = result;
}

void FakeHost::FailRead(size_t index, int32_t result) {
  std::lock_guard guard(lock_);
  faults_[index] = {FaultKind::kFail, static_cast<uint32_t>(result)};
}

void FakeHost::ReadNothing(size_t index) {
  std::lock_guard guard(lock_);
  faults_[index] = {FaultKind::kNothing, 0};
}

void FakeHost::ReadShort(size_t index, uint32_t bytes) {
  std::lock_guard guard(lock_);
  faults_[index] = {FaultKind::kShort, bytes};
}

void FakeHost::ReadTooMuch(size_t index) {
  std::lock_guard guard(lock_);
  faults_[index] = {FaultKind::kTooMuch, 0};
}

std::vector<FileRange> FakeHost::reads() const {
  std::lock_guard guard(lock_);
  std::vector<FileRange> ranges;
  for (const ReadCall& call : calls_) {
    ranges.push_back(call.range);
  }
  return ranges;
}

void FakeHost::ClearReads() {
  std::lock_guard guard(lock_);
  calls_.clear();
}

std::vector<ReadCall> FakeHost::readCalls() const {
  std::lock_guard guard(lock_);
  return calls_;
}

int32_t FakeHost::GetSizeThunk(uint32_t* low, uint32_t* high, void* user) {
  auto* host = static_cast<FakeHost*>(user);
  std::lock_guard guard(host->lock_);
  if (host->getSizeResult_ != 0) {
    return host->getSizeResult_;
  }
  *low = static_cast<uint32_t>(host->size_);
  *high = static_cast<uint32_t>(host->size_ >> 32);
  return 0;
}

int32_t FakeHost::ReadThunk(void* buffer, const HostFileRange* range, uint32_t* bytesRead,
                            void* user) {
  return static_cast<FakeHost*>(user)->Read(static_cast<uint8_t*>(buffer), *range, bytesRead);
}

int32_t FakeHost::Read(uint8_t* buffer, const HostFileRange& range, uint32_t* bytesRead) {
  std::lock_guard guard(lock_);
  const uint64_t available =
      range.offset < size_ ? std::min<uint64_t>(range.count, size_ - range.offset) : 0;
  uint32_t delivered = static_cast<uint32_t>(available);
  uint32_t reported = delivered;
  int32_t result = 0;
  const auto fault = faults_.find(readsSoFar_++);
  if (fault != faults_.end()) {
    switch (fault->second.kind) {
      case FaultKind::kFail:
        result = static_cast<int32_t>(fault->second.value);
        delivered = reported = 0;
        break;
      case FaultKind::kNothing:
        delivered = reported = 0;
        break;
      case FaultKind::kShort:
        delivered = reported = std::min(delivered, fault->second.value);
        break;
      case FaultKind::kTooMuch:
        reported = range.count + 1;
        break;
    }
  }
  const uint64_t stored =
      range.offset < file_.size() ? std::min<uint64_t>(delivered, file_.size() - range.offset) : 0;
  std::copy_n(file_.begin() + static_cast<std::ptrdiff_t>(range.offset), stored, buffer);
  for (uint64_t i = stored; i < delivered; ++i) {
    buffer[i] = PatternByte(range.offset + i);
  }
  *bytesRead = reported;
  calls_.push_back({{range.offset, range.count}, result, reported});
  return result;
}

}  // namespace sondrel::test
