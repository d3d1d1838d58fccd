#include "scan/pe_header.h"

#include "protocol/byte_reader.h"

namespace sondrel {
namespace {

constexpr uint16_t kDosSignature = 0x5A4D;  // "MZ"
constexpr uint32_t kNewHeaderOffsetAt = 0x3C;
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kWideLayoutMachineBit = 0x200;
constexpr uint32_t kSectionTableAt = 248;
constexpr uint32_t kWideSectionTableAt = 264;
constexpr uint32_t kDirectoriesAt = 0x78;
constexpr uint32_t kWideDirectoriesAt = 0x88;
constexpr uint32_t kSectionEntrySize = 40;

// The offset of the PE signature when the check passes.
std::optional<uint32_t> CheckedNewHeader(const ByteReader& reader) {
  const auto dos = reader.U16At(0);
  const auto e = reader.U32At(kNewHeaderOffsetAt);
  if (!dos || *dos != kDosSignature || !e ||
      uint64_t{*e} + kSectionTableAt >= PeHeader::kHeaderLimit) {
    return std::nullopt;
  }
  const auto signature = reader.U32At(*e);
  const auto sections = reader.U16At(*e + 6);
  if (!signature || *signature != kPeSignature || !sections || *sections < 1 ||
      *sections > PeHeader::kMaxSections) {
    return std::nullopt;
  }
  return *e;
}

}  // namespace

std::optional<uint64_t> PeHeader::FileOffset(uint32_t rva) const {
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const PeSection& section = sections[i];
    if (section.virtualAddress <= rva &&
        rva < uint64_t{section.virtualAddress} + section.virtualSize) {
      return uint64_t{section.pointerToRawData} + (rva - section.virtualAddress);
    }
  }
  return std::nullopt;
}

bool PassesPeHeaderCheck(std::span<const uint8_t> bytes) {
  return CheckedNewHeader(ByteReader(bytes)).has_value();
}

std::optional<PeHeader> ParsePeHeader(std::span<const uint8_t> bytes) {
  const ByteReader reader(bytes);
  const auto e = CheckedNewHeader(reader);
  if (!e) {
    return std::nullopt;
  }
  PeHeader header;
  header.sectionCount = *reader.U16At(*e + 6);
  const bool wide = (*reader.U16At(*e + 4) & kWideLayoutMachineBit) != 0;
  const uint32_t table = *e + (wide ? kWideSectionTableAt : kSectionTableAt);
  const uint32_t tableSize = header.sectionCount * kSectionEntrySize;
  // The optional header and the data directories lie before the section table, so a table
  // within the bytes brings them along.
  if (table + tableSize >= PeHeader::kHeaderLimit || !reader.Has(table, tableSize)) {
    return std::nullopt;
  }
  header.linkerMajor = bytes[*e + 0x1A];
  header.linkerMinor = bytes[*e + 0x1B];
  header.sizeOfCode = *reader.U32At(*e + 0x1C);
  header.entryPoint = *reader.U32At(*e + 0x28);
  header.baseOfCode = *reader.U32At(*e + 0x2C);
  const uint32_t directories = *e + (wide ? kWideDirectoriesAt : kDirectoriesAt);
  const auto directory = [&](uint32_t index) {
    return PeDirectory{*reader.U32At(directories + index * 8),
                       *reader.U32At(directories + index * 8 + 4)};
  };
  header.resources = directory(2);
  header.threadLocalStorage = directory(9);
  header.importAddressTable = directory(12);
  for (uint16_t i = 0; i < header.sectionCount; ++i) {
    const uint32_t entry = table + i * kSectionEntrySize;
    header.sections[i] = {*reader.U32At(entry + 8), *reader.U32At(entry + 12),
                          *reader.U32At(entry + 20)};
  }
  return header;
}

}  // namespace sondrel
