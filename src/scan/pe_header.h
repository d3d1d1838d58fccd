// The few fields of a PE image header that the fingerprint uses, read from the first bytes of
// the file. Every field is loaded through a bounds-checked reader over the bytes actually
// delivered: a header that points outside them is not a PE header here.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace sondrel {

struct PeDirectory {
  uint32_t virtualAddress = 0;
  uint32_t size = 0;
};

struct PeSection {
  uint32_t virtualSize = 0;
  uint32_t virtualAddress = 0;
  uint32_t pointerToRawData = 0;
};

struct PeHeader {
  static constexpr uint16_t kMaxSections = 31;
  static constexpr uint32_t kHeaderLimit = 0x4000;

  // The file offset of an address: the first section (in table order) that covers it maps it.
  std::optional<uint64_t> FileOffset(uint32_t rva) const;

  uint8_t linkerMajor = 0;
  uint8_t linkerMinor = 0;
  uint32_t sizeOfCode = 0;
  uint32_t entryPoint = 0;
  uint32_t baseOfCode = 0;
  PeDirectory resources;           // directory 2
  PeDirectory threadLocalStorage;  // directory 9
  PeDirectory importAddressTable;  // directory 12
  std::array<PeSection, kMaxSections> sections{};
  uint16_t sectionCount = 0;
};

// "MZ", the "PE\0\0" signature at the offset stored at 0x3C (which leaves room for the
// optional header below 0x4000), and 1 to 31 sections.
bool PassesPeHeaderCheck(std::span<const uint8_t> bytes);

// The header of an image that passes the check and whose section table ends below 0x4000 and
// within the bytes; nothing otherwise.
std::optional<PeHeader> ParsePeHeader(std::span<const uint8_t> bytes);

}  // namespace sondrel
