#include "support/fake_host/pe_image_builder.h"

#include "support/fake_host/fake_host.h"

namespace sondrel::test {
namespace {

void Put16(std::vector<uint8_t>& image, uint32_t at, uint16_t value) {
  image.at(at) = static_cast<uint8_t>(value);
  image.at(at + 1) = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& image, uint32_t at, uint32_t value) {
  Put16(image, at, static_cast<uint16_t>(value));
  Put16(image, at + 2, static_cast<uint16_t>(value >> 16));
}

}  // namespace

PeImageBuilder::PeImageBuilder(uint32_t fileSize) : fileSize_(fileSize) {}

PeImageBuilder& PeImageBuilder::Wide() {
  wide_ = true;
  return *this;
}

PeImageBuilder& PeImageBuilder::NewHeaderAt(uint32_t offset) {
  newHeader_ = offset;
  return *this;
}

PeImageBuilder& PeImageBuilder::Linker(uint8_t major, uint8_t minor) {
  linkerMajor_ = major;
  linkerMinor_ = minor;
  return *this;
}

PeImageBuilder& PeImageBuilder::SizeOfCode(uint32_t size) {
  sizeOfCode_ = size;
  return *this;
}

PeImageBuilder& PeImageBuilder::EntryPoint(uint32_t rva) {
  entryPoint_ = rva;
  return *this;
}

PeImageBuilder& PeImageBuilder::BaseOfCode(uint32_t rva) {
  baseOfCode_ = rva;
  return *this;
}

PeImageBuilder& PeImageBuilder::Directory(uint32_t index, uint32_t rva, uint32_t size) {
  directories_.push_back({index, rva, size});
  return *this;
}

PeImageBuilder& PeImageBuilder::Section(uint32_t rva, uint32_t virtualSize, uint32_t rawOffset) {
  sections_.push_back({rva, virtualSize, rawOffset});
  return *this;
}

PeImageBuilder& PeImageBuilder::SectionCount(uint16_t count) {
  sectionCount_ = count;
  return *this;
}

std::vector<uint8_t> PeImageBuilder::Build() const {
  std::vector<uint8_t> image = PatternFile(fileSize_);
  const uint32_t e = newHeader_;
  image.at(0) = 'M';
  image.at(1) = 'Z';
  Put32(image, 0x3C, e);
  image.at(e) = 'P';
  image.at(e + 1) = 'E';
  image.at(e + 2) = 0;
  image.at(e + 3) = 0;
  Put16(image, e + 4, wide_ ? 0x8664 : 0x14C);
  Put16(image, e + 6, static_cast<uint16_t>(sectionCount_ >= 0 ? sectionCount_ : sections_.size()));
  image.at(e + 0x1A) = linkerMajor_;
  image.at(e + 0x1B) = linkerMinor_;
  Put32(image, e + 0x1C, sizeOfCode_);
  Put32(image, e + 0x28, entryPoint_);
  Put32(image, e + 0x2C, baseOfCode_);
  const uint32_t directories = e + (wide_ ? 0x88 : 0x78);
  for (uint32_t index = 0; index < 16; ++index) {
    Put32(image, directories + index * 8, 0);
    Put32(image, directories + index * 8 + 4, 0);
  }
  for (const DirectoryEntry& directory : directories_) {
    Put32(image, directories + directory.index * 8, directory.rva);
    Put32(image, directories + directory.index * 8 + 4, directory.size);
  }
  const uint32_t table = e + (wide_ ? 264 : 248);
  for (size_t i = 0; i < sections_.size(); ++i) {
    const uint32_t entry = table + static_cast<uint32_t>(i) * 40;
    Put32(image, entry + 8, sections_[i].virtualSize);
    Put32(image, entry + 12, sections_[i].rva);
    Put32(image, entry + 20, sections_[i].rawOffset);
  }
  return image;
}

PeImageBuilder PeImageBuilder::Typical(uint32_t fileSize) {
  PeImageBuilder builder(fileSize);
  builder.Section(0x1000, fileSize - 0x400, 0x400).EntryPoint(0x1000).BaseOfCode(0x1000);
  builder.SizeOfCode(0x2000);
  return builder;
}

}  // namespace sondrel::test
