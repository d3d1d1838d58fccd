// An in-memory host for the tests: a HostCallbacks table over a byte vector that records every
// Read call and can be told to misbehave at a given read.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <ostream>
#include <vector>

#include "sondrel/sondrel.h"

namespace sondrel::test {

// A byte that differs from its neighbours and between regions of a file, so that a selection
// of the wrong bytes shows.
uint8_t PatternByte(uint64_t offset);
std::vector<uint8_t> PatternFile(uint64_t size);

struct FileRange {
  uint64_t offset = 0;
  uint32_t count = 0;
  friend bool operator==(const FileRange&, const FileRange&) = default;
};
std::ostream& operator<<(std::ostream& out, const FileRange& range);

struct ReadCall {
  FileRange range;
  int32_t result = 0;
  uint32_t delivered = 0;  // as the host reported it
};

class FakeHost {
 public:
  explicit FakeHost(std::vector<uint8_t> file = {});
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  // The table to hand to the library; its user value is this host. Tests may fill in more.
  HostCallbacks& callbacks() { return callbacks_; }

  // Makes the file this long: the bytes given, then PatternByte(offset) up to the size.
  void SetSize(uint64_t size);
  uint64_t size() const;
  // The file's bytes [offset, offset + count), cut at the end of the file.
  std::vector<uint8_t> Bytes(uint64_t offset, uint64_t count) const;

  // Misbehaviour. A read is named by its index among the Read calls (0 for the first).
  void FailGetSize(int32_t result = 5);
  void FailRead(size_t index, int32_t result = 5);
  void ReadNothing(size_t index);
  void ReadShort(size_t index, uint32_t bytes);
  // Delivers what it has but reports one byte more than asked for.
  void ReadTooMuch(size_t index);

  std::vector<FileRange> reads() const;
  std::vector<ReadCall> readCalls() const;
  // Forgets the calls recorded so far (the fault indexes count from the first call ever).
  void ClearReads();

 private:
  enum class FaultKind { kFail, kNothing, kShort, kTooMuch };
  struct Fault {
    FaultKind kind;
    uint32_t value;
  };

  static int32_t GetSizeThunk(uint32_t* low, uint32_t* high, void* user);
  static int32_t ReadThunk(void* buffer, const HostFileRange* range, uint32_t* bytesRead,
                           void* user);
  int32_t Read(uint8_t* buffer, const HostFileRange& range, uint32_t* bytesRead);
  uint8_t ByteAt(uint64_t offset) const;

  mutable std::mutex lock_;
  HostCallbacks callbacks_{};
  std::vector<uint8_t> file_;
  uint64_t size_;
  int32_t getSizeResult_ = 0;
  std::map<size_t, Fault> faults_;
  std::vector<ReadCall> calls_;
  size_t readsSoFar_ = 0;
};

}  // namespace sondrel::test
