// Builds PE images for the tests, byte by byte: the DOS signature, the offset at 0x3C, the PE
// signature, the file and optional header fields, the data directories and the section table,
// laid over pattern bytes (PatternByte) everywhere else.
#pragma once

#include <cstdint>
#include <vector>

namespace sondrel::test {

class PeImageBuilder {
 public:
  explicit PeImageBuilder(uint32_t fileSize);

  // The 64-bit optional header layout (machine 0x8664); the 32-bit one (0x14C) otherwise.
  PeImageBuilder& Wide();
  // Where the PE signature goes (the value at 0x3C); 0x80 unless set.
  PeImageBuilder& NewHeaderAt(uint32_t offset);
  PeImageBuilder& Linker(uint8_t major, uint8_t minor);
  PeImageBuilder& SizeOfCode(uint32_t size);
  PeImageBuilder& EntryPoint(uint32_t rva);
  PeImageBuilder& BaseOfCode(uint32_t rva);
  // Data directory `index` (2 resources, 9 TLS, 12 import address table).
  PeImageBuilder& Directory(uint32_t index, uint32_t rva, uint32_t size);
  PeImageBuilder& Section(uint32_t rva, uint32_t virtualSize, uint32_t rawOffset);
  // Writes this section count instead of the number of sections added.
  PeImageBuilder& SectionCount(uint16_t count);

  std::vector<uint8_t> Build() const;

  // The usual layout for the tests: one section mapping RVA 0x1000.. to file offset 0x400..,
  // covering the rest of the file; entry point and base of code at the start of that section.
  static PeImageBuilder Typical(uint32_t fileSize);

 private:
  struct DirectoryEntry {
    uint32_t index, rva, size;
  };
  struct SectionEntry {
    uint32_t rva, virtualSize, rawOffset;
  };

  uint32_t fileSize_;
  bool wide_ = false;
  uint32_t newHeader_ = 0x80;
  uint8_t linkerMajor_ = 14;
  uint8_t linkerMinor_ = 0;
  uint32_t sizeOfCode_ = 0;
  uint32_t entryPoint_ = 0;
  uint32_t baseOfCode_ = 0;
  std::vector<DirectoryEntry> directories_;
  std::vector<SectionEntry> sections_;
  int sectionCount_ = -1;
};

}  // namespace sondrel::test
