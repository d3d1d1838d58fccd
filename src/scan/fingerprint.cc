#include "scan/fingerprint.h"

#include <algorithm>
#include <span>

#include "scan/pe_header.h"

namespace sondrel {
namespace {

constexpr uint32_t kBufferSize = FileReader::kBufferSize;
constexpr uint32_t kHeadSize = 16384;        // the first read of a large file
constexpr uint32_t kEntryLead = 8192;        // how far before the entry point reading starts
constexpr uint32_t kEntrySize = 16384;       // bytes read around the entry point
constexpr uint32_t kDirectoryMax = 8192;     // most bytes of an import table or TLS region
constexpr uint32_t kResourceLimit = 0xC000;  // the resource region fills the buffer up to here
constexpr uint32_t kMiddleMax = 32768;       // sampled from the middle of other files
constexpr uint32_t kTailMax = 16384;         // sampled from the end

// 00 01 00 00 followed, at offsets 12 to 15, by four printable characters.
bool IsFontLike(std::span<const uint8_t> head) {
  if (head.size() < 16 || head[0] != 0x00 || head[1] != 0x01 || head[2] != 0x00 ||
      head[3] != 0x00) {
    return false;
  }
  return std::all_of(head.begin() + 12, head.begin() + 16,
                     [](uint8_t c) { return c >= 0x20 && c <= 0x7E; });
}

enum class Selection { kStrong, kWeak, kFallback, kFailed };

// One computation. In the large-file path every read lands in the buffer right after the bytes
// gathered so far, and the digest covers exactly the gathered bytes.
class FingerprintStep {
 public:
  FingerprintStep(FileReader& reader, uint64_t size) : reader_(reader), size_(size) {}

  std::optional<FileFingerprint> SmallFile();
  std::optional<FileFingerprint> LargeFile();

 private:
  std::optional<uint32_t> Gather(uint64_t offset, uint64_t count);
  Selection SelectPeRegions(std::span<const uint8_t> head);
  bool GatherRegion(const PeHeader& header, const PeDirectory& directory, uint64_t limit);
  bool SampleMiddle();
  bool SampleTail();
  std::optional<FileFingerprint> Digest(bool strong);

  FileReader& reader_;
  const uint64_t size_;
  uint32_t gathered_ = 0;
  bool linkerRule_ = false;
  uint64_t codeOffset_ = 0;
  uint32_t sizeOfCode_ = 0;
};

// The whole file, strong. Pieces after a short read land behind the earlier ones so that the
// buffer keeps the start of the file.
std::optional<FileFingerprint> FingerprintStep::SmallFile() {
  Md5 md5;
  uint64_t done = 0;
  while (done < size_) {
    const auto position = static_cast<uint32_t>(done);
    const auto delivered = reader_.Read(done, static_cast<uint32_t>(size_ - done), position);
    if (!delivered) {
      return std::nullopt;
    }
    const std::span<const uint8_t> piece(reader_.buffer.data() + position, *delivered);
    if (done == 0) {
      reader_.bytesBuffered = *delivered;
      if (!reader_.hashSmallNonPE && !IsFontLike(piece) && !PassesPeHeaderCheck(piece)) {
        return std::nullopt;
      }
    }
    md5.Update(piece.data(), piece.size());
    done += *delivered;
  }
  const auto digest = md5.Final();
  if (!digest) {
    return std::nullopt;
  }
  return FileFingerprint{*digest, true};
}

std::optional<FileFingerprint> FingerprintStep::LargeFile() {
  if (!Gather(0, kHeadSize)) {
    return std::nullopt;
  }
  reader_.bytesBuffered = gathered_;
  const std::span<const uint8_t> head(reader_.buffer.data(), gathered_);

  Selection selection = Selection::kFallback;
  if (IsFontLike(head)) {
    const uint32_t wanted = kBufferSize - gathered_;
    const auto delivered = Gather(gathered_, wanted);
    if (delivered && *delivered == wanted) {
      return Digest(true);
    }
  } else if (PassesPeHeaderCheck(head)) {
    selection = SelectPeRegions(head);
  }

  if (selection == Selection::kFallback) {
    if (!SampleMiddle()) {
      return std::nullopt;
    }
    selection = Selection::kWeak;
  }
  if (selection == Selection::kFailed || !SampleTail()) {
    return std::nullopt;
  }
  return Digest(selection == Selection::kStrong);
}

std::optional<uint32_t> FingerprintStep::Gather(uint64_t offset, uint64_t count) {
  const auto delivered = reader_.Read(offset, static_cast<uint32_t>(count), gathered_);
  if (delivered) {
    gathered_ += *delivered;
  }
  return delivered;
}

Selection FingerprintStep::SelectPeRegions(std::span<const uint8_t> head) {
  const auto header = ParsePeHeader(head);
  if (!header) {
    return Selection::kFallback;
  }
  std::optional<uint64_t> entryOffset;
  if (header->entryPoint != 0) {
    entryOffset = header->FileOffset(header->entryPoint);
    if (!entryOffset) {
      return Selection::kFallback;
    }
  }
  const auto codeOffset = header->FileOffset(header->baseOfCode);
  if (!codeOffset) {
    return Selection::kFallback;
  }
  codeOffset_ = *codeOffset;
  sizeOfCode_ = header->sizeOfCode;

  // Images of linker 2.25 are keyed by their code section instead of their entry region.
  uint32_t entryBytes = 0;
  if (header->linkerMajor == 2 && header->linkerMinor == 25) {
    linkerRule_ = true;
  } else if (entryOffset) {
    const uint64_t start = *entryOffset > kEntryLead ? *entryOffset - kEntryLead : *entryOffset;
    const auto delivered = Gather(start, kEntrySize);
    if (!delivered) {
      return Selection::kFallback;
    }
    entryBytes = *delivered;
  }

  // The import address table and TLS regions are as long as their virtual address says (not
  // their size), at most 8 KiB.
  for (const PeDirectory* directory : {&header->importAddressTable, &header->threadLocalStorage}) {
    if (directory->size != 0 && directory->virtualAddress != 0 &&
        !GatherRegion(*header, *directory, kDirectoryMax)) {
      return Selection::kFallback;
    }
  }
  const PeDirectory& resources = header->resources;
  if (resources.size != 0 && resources.virtualAddress != 0 && gathered_ < kResourceLimit &&
      !GatherRegion(*header, resources, kResourceLimit - gathered_)) {
    return Selection::kFallback;
  }
  if (gathered_ <= kHeadSize) {
    return Selection::kFallback;
  }

  const int64_t threshold = reader_.cacheTreshold;
  if (threshold != 0 && sizeOfCode_ != 0 && sizeOfCode_ > int64_t{entryBytes} * threshold) {
    return reader_.hashNonPE ? Selection::kWeak : Selection::kFailed;
  }
  return Selection::kStrong;
}

// Reads min(virtual address, limit) bytes from the directory's file offset, cut at the end of
// the file. A region that does not map, or starts at or past the end of the file, fails.
bool FingerprintStep::GatherRegion(const PeHeader& header, const PeDirectory& directory,
                                   uint64_t limit) {
  const auto offset = header.FileOffset(directory.virtualAddress);
  if (!offset || *offset >= size_) {
    return false;
  }
  const uint64_t count = std::min({uint64_t{directory.virtualAddress}, limit, size_ - *offset});
  return Gather(*offset, count).has_value();
}

bool FingerprintStep::SampleMiddle() {
  if (!reader_.hashNonPE) {
    return false;
  }
  if (gathered_ > kHeadSize) {
    return true;
  }
  const uint32_t count = std::min(kBufferSize - gathered_, kMiddleMax);
  return count == 0 || Gather(size_ / 2 - kMiddleMax / 2, count).has_value();
}

bool FingerprintStep::SampleTail() {
  const uint32_t count = std::min(kBufferSize - gathered_, kTailMax);
  return count == 0 || Gather(size_ - count, count).has_value();
}

// MD5 over the gathered bytes; images of linker 2.25 append their code section, read in 64 KiB
// pieces through the buffer until the first failed or empty read.
std::optional<FileFingerprint> FingerprintStep::Digest(bool strong) {
  Md5 md5;
  md5.Update(reader_.buffer.data(), gathered_);
  if (linkerRule_) {
    reader_.bytesBuffered = 0;
    uint64_t offset = codeOffset_;
    uint32_t remaining = sizeOfCode_;
    while (remaining > 0) {
      const auto delivered = reader_.Read(offset, std::min(remaining, kBufferSize), 0);
      if (!delivered) {
        break;
      }
      md5.Update(reader_.buffer.data(), *delivered);
      offset += *delivered;
      remaining -= *delivered;
    }
  }
  const auto digest = md5.Final();
  if (!digest) {
    return std::nullopt;
  }
  return FileFingerprint{*digest, strong};
}

}  // namespace

std::optional<FileFingerprint> ComputeFingerprint(FileReader& reader) {
  reader.bytesBuffered = 0;
  const auto size = reader.GetSize();
  if (!size) {
    return std::nullopt;
  }
  FingerprintStep step(reader, *size);
  auto fingerprint = *size <= kBufferSize ? step.SmallFile() : step.LargeFile();
  if (!fingerprint) {
    reader.bytesBuffered = 0;
  }
  return fingerprint;
}

}  // namespace sondrel
