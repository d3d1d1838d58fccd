#include "scan/fingerprint.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_host/pe_image_builder.h"
#include "unit/scan/fingerprint_test_support.h"

namespace sondrel::test {
namespace {

constexpr uint32_t kMiB = 1048576;

std::vector<uint8_t> SmallPe(uint32_t size) {
  return PeImageBuilder(size).Section(0x1000, 0x100, 0x200).Build();
}

std::vector<uint8_t> FontFile(uint32_t size) {
  std::vector<uint8_t> file = PatternFile(size);
  const uint8_t start[16] = {0, 1, 0, 0, 9, 9, 9, 9, 9, 9, 9, 9, 'g', 'l', 'y', 'f'};
  std::copy(std::begin(start), std::end(start), file.begin());
  return file;
}

// A typical image with its entry point at this file offset.
PeImageBuilder WithEntryOffset(uint32_t size, uint32_t offset) {
  PeImageBuilder builder = PeImageBuilder::Typical(size);
  builder.EntryPoint(0x1000 + offset - 0x400);
  return builder;
}

void ExpectFingerprint(FakeHost& host, const FingerprintRun& run,
                       const std::vector<FileRange>& reads, bool strong) {
  EXPECT_EQ(run.reads, reads);
  ASSERT_TRUE(run.fingerprint.has_value());
  EXPECT_EQ(run.fingerprint->digest, Md5Of(host, reads));
  EXPECT_EQ(run.fingerprint->strong, strong);
}

TEST(FingerprintTest, SmallFilesAreHashedWhole) {
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    bool hashSmallNonPE;
    bool succeeds;
  };
  const Case cases[] = {
      {"empty", {}, false, true},
      {"one byte", PatternFile(1), true, true},
      {"65536 bytes", PatternFile(65536), true, true},
      {"data, small non-PE off", PatternFile(1000), false, false},
      {"PE, small non-PE off", SmallPe(1000), false, true},
      {"font, small non-PE off", FontFile(1000), false, true},
      {"too short for a font", {0, 1, 0, 0, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeHost host(c.file);
    const FingerprintRun run = RunFingerprint(host, {false, c.hashSmallNonPE, 0});
    const auto size = static_cast<uint32_t>(c.file.size());
    const std::vector<FileRange> reads =
        size == 0 ? std::vector<FileRange>{} : std::vector<FileRange>{{0, size}};
    EXPECT_EQ(run.reads, reads);
    ASSERT_EQ(run.fingerprint.has_value(), c.succeeds);
    EXPECT_EQ(run.bytesBuffered, c.succeeds ? size : 0);
    if (c.succeeds) {
      EXPECT_EQ(run.fingerprint->digest, Md5Of(c.file));
      EXPECT_TRUE(run.fingerprint->strong);
    }
  }
}

TEST(FingerprintTest, AFontStartNeedsItsPrintableTag) {
  std::vector<uint8_t> file = FontFile(100);
  file[14] = 0x7F;
  FakeHost host(file);
  EXPECT_FALSE(RunFingerprint(host, {false, false, 0}).fingerprint.has_value());
}

TEST(FingerprintTest, LargeDataFilesAreSampledAtStartMiddleAndEnd) {
  for (const uint32_t size : {65537u, 102400u, 3 * kMiB + 1}) {
    SCOPED_TRACE(size);
    FakeHost host(PatternFile(size));
    const FingerprintRun run = RunFingerprint(host);
    ExpectFingerprint(host, run, {{0, 16384}, {size / 2 - 16384, 32768}, {size - 16384, 16384}},
                      false);
    EXPECT_EQ(run.bytesBuffered, 16384u);

    FakeHost refused(PatternFile(size));
    const FingerprintRun off = RunFingerprint(refused, {false, true, 0});
    EXPECT_FALSE(off.fingerprint.has_value());
    EXPECT_EQ(off.reads, (std::vector<FileRange>{{0, 16384}}));
    EXPECT_EQ(off.bytesBuffered, 0u);
  }
}

TEST(FingerprintTest, FilesAbove4GiBUseTheWholeSize) {
  FakeHost host(PatternFile(16384));
  const uint64_t size = 5ull * 1024 * kMiB + 3;
  host.SetSize(size);
  ExpectFingerprint(host, RunFingerprint(host),
                    {{0, 16384}, {size / 2 - 16384, 32768}, {size - 16384, 16384}}, false);
}

TEST(FingerprintTest, AFontStartHashesTheFirst64KiB) {
  FakeHost host(FontFile(200000));
  const FingerprintRun run = RunFingerprint(host, {false, true, 0});
  ExpectFingerprint(host, run, {{0, 16384}, {16384, 49152}}, true);
  EXPECT_EQ(run.bytesBuffered, 16384u);
}

TEST(FingerprintTest, AShortFontReadFallsBackToSampling) {
  FakeHost host(FontFile(200000));
  host.ReadShort(1, 1000);
  const FingerprintRun run = RunFingerprint(host);
  // 17384 bytes are gathered already, so no middle sample is taken.
  EXPECT_EQ(run.reads, (std::vector<FileRange>{{0, 16384}, {16384, 49152}, {183616, 16384}}));
  ASSERT_TRUE(run.fingerprint.has_value());
  EXPECT_EQ(run.fingerprint->digest, Md5Of(host, {{0, 16384}, {16384, 1000}, {183616, 16384}}));
  EXPECT_FALSE(run.fingerprint->strong);

  FakeHost refused(FontFile(200000));
  refused.ReadShort(1, 1000);
  EXPECT_FALSE(RunFingerprint(refused, {false, true, 0}).fingerprint.has_value());
}

TEST(FingerprintTest, TheEntryRegionStartsUpTo8KiBBeforeTheEntryPoint) {
  const uint32_t size = kMiB;
  const std::pair<uint32_t, uint64_t> cases[] = {
      {4096, 4096}, {8192, 8192}, {8193, 1}, {0x5000, 0x3000}, {0x20000, 0x1E000}};
  for (const bool wide : {false, true}) {
    for (const auto& [entryOffset, start] : cases) {
      SCOPED_TRACE(testing::Message() << "wide " << wide << " entry offset " << entryOffset);
      PeImageBuilder builder = WithEntryOffset(size, entryOffset);
      if (wide) {
        builder.Wide();
      }
      FakeHost host(builder.Build());
      const FingerprintRun run = RunFingerprint(host, {false, true, 0});
      ExpectFingerprint(host, run, {{0, 16384}, {start, 16384}, {size - 16384, 16384}}, true);
      EXPECT_EQ(run.bytesBuffered, 16384u);
    }
  }
}

TEST(FingerprintTest, ImportTableAndTlsRegionsAreAsLongAsTheirVirtualAddress) {
  const uint32_t size = kMiB;
  // Section: RVA 0x1000 at file offset 0x400; entry region at 0x400 (16384 bytes).
  FakeHost host(PeImageBuilder::Typical(size)
                    .Directory(12, 0x1000, 8)        // 4096 bytes from 0x400, whatever the size
                    .Directory(9, 0x1800, 0x100000)  // 6144 bytes from 0xC00
                    .Build());
  ExpectFingerprint(
      host, RunFingerprint(host, {false, true, 0}),
      {{0, 16384}, {0x400, 16384}, {0x400, 4096}, {0xC00, 6144}, {size - 16384, 16384}}, true);

  FakeHost large(PeImageBuilder::Typical(size).Directory(12, 0x5000, 1).Build());
  ExpectFingerprint(large, RunFingerprint(large, {false, true, 0}),
                    {{0, 16384}, {0x400, 16384}, {0x4400, 8192}, {size - 16384, 16384}}, true);
}

TEST(FingerprintTest, DirectoriesWithoutSizeOrAddressAreSkipped) {
  const uint32_t size = kMiB;
  FakeHost host(PeImageBuilder::Typical(size)
                    .Directory(12, 0x1000, 0)
                    .Directory(9, 0, 8)
                    .Directory(2, 0, 8)
                    .Build());
  ExpectFingerprint(host, RunFingerprint(host, {false, true, 0}),
                    {{0, 16384}, {0x400, 16384}, {size - 16384, 16384}}, true);
}

TEST(FingerprintTest, AllRegionsTogetherReadAtMostSixTimesAndAt64KiB) {
  const uint32_t size = kMiB;
  FakeHost host(PeImageBuilder::Typical(size)
                    .Directory(12, 0x1000, 8)
                    .Directory(9, 0x1800, 8)
                    .Directory(2, 0x9000, 8)  // file offset 0x8400; 6144 bytes fill up to 0xC000
                    .Build());
  const std::vector<FileRange> reads = {{0, 16384},    {0x400, 16384}, {0x400, 4096},
                                        {0xC00, 6144}, {0x8400, 6144}, {size - 16384, 16384}};
  ExpectFingerprint(host, RunFingerprint(host, {false, true, 0}), reads, true);
  uint64_t total = 0;
  for (const FileRange& range : reads) {
    total += range.count;
  }
  EXPECT_EQ(total, 65536u);
}

TEST(FingerprintTest, TheResourceRegionIsLimitedByEveryBound) {
  struct Case {
    const char* name;
    uint32_t size;
    uint32_t rva;
    std::vector<FileRange> regions;  // after the head and the entry region
  };
  const uint32_t kLarge = kMiB;
  const Case cases[] = {
      // 32768 gathered: up to 0xC000 leaves 16384.
      {"the 0xC000 mark", kLarge, 0x9000, {{0x8400, 16384}}},
      {"its virtual address", kLarge, 0x1100, {{0x500, 0x1100}}},
      {"the end of the file", 0x10400 + 100, 0x11000, {{0x10400, 100}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeHost host(PeImageBuilder::Typical(c.size).Directory(2, c.rva, 1).Build());
    std::vector<FileRange> reads = {{0, 16384}, {0x400, 16384}};
    uint32_t gathered = 32768;
    for (const FileRange& region : c.regions) {
      reads.push_back(region);
      gathered += region.count;
    }
    const uint32_t tail = std::min(65536 - gathered, 16384u);
    reads.push_back({c.size - tail, tail});
    ExpectFingerprint(host, RunFingerprint(host, {false, true, 0}), reads, true);
  }
}

TEST(FingerprintTest, NoResourceRegionOnceTheBufferReaches0xC000) {
  const uint32_t size = kMiB;
  FakeHost host(PeImageBuilder::Typical(size)
                    .Directory(12, 0x3000, 8)
                    .Directory(9, 0x3000, 8)
                    .Directory(2, 0x1000, 8)
                    .Build());
  ExpectFingerprint(
      host, RunFingerprint(host, {false, true, 0}),
      {{0, 16384}, {0x400, 16384}, {0x2400, 8192}, {0x2400, 8192}, {size - 16384, 16384}}, true);
}

TEST(FingerprintTest, RegionsAreCutAtTheEndOfTheFile) {
  const uint32_t size = 200000;
  // A second section maps RVA 0x100000 to the last 100 bytes of the file.
  FakeHost host(PeImageBuilder::Typical(size)
                    .Section(0x100000, 0x1000, size - 100)
                    .Directory(12, 0x100000, 8)
                    .Build());
  ExpectFingerprint(host, RunFingerprint(host, {false, true, 0}),
                    {{0, 16384}, {0x400, 16384}, {size - 100, 100}, {size - 16384, 16384}}, true);
}

// Images that pass the header check but cannot be keyed by their structure are sampled like any
// other file.
TEST(FingerprintTest, ImagesThatDoNotMapFallBackToSampling) {
  const uint32_t size = kMiB;
  const std::vector<FileRange> sampled = {
      {0, 16384}, {size / 2 - 16384, 32768}, {size - 16384, 16384}};
  struct Case {
    const char* name;
    PeImageBuilder builder;
    std::vector<FileRange> reads;
  };
  const Case cases[] = {
      {"entry point outside every section", PeImageBuilder::Typical(size).EntryPoint(0x200000),
       sampled},
      {"base of code outside every section", PeImageBuilder::Typical(size).BaseOfCode(0x10),
       sampled},
      {"no entry point and no regions", PeImageBuilder::Typical(size).EntryPoint(0), sampled},
      {"import table outside every section",
       PeImageBuilder::Typical(size).Directory(12, 0x200000, 8),
       {{0, 16384}, {0x400, 16384}, {size - 16384, 16384}}},
      {"TLS region starting at the end of the file",
       PeImageBuilder::Typical(size).Section(0x200000, 0x1000, size).Directory(9, 0x200000, 8),
       {{0, 16384}, {0x400, 16384}, {size - 16384, 16384}}},
      {"TLS region past the end of the file",
       PeImageBuilder::Typical(size)
           .Section(0x200000, 0x1000, size + 0x10000)
           .Directory(9, 0x200000, 8),
       {{0, 16384}, {0x400, 16384}, {size - 16384, 16384}}},
      {"resource outside every section",
       PeImageBuilder::Typical(size).Directory(2, 0x200000, 8),
       {{0, 16384}, {0x400, 16384}, {size - 16384, 16384}}},
      {"section table reaching 0x4000",
       PeImageBuilder::Typical(size).NewHeaderAt(0x4000 - 248 - 40), sampled},
      {"no section", PeImageBuilder(size).SectionCount(0), sampled},
      {"32 sections", PeImageBuilder::Typical(size).SectionCount(32), sampled},
      {"signature offset too high", PeImageBuilder::Typical(size).NewHeaderAt(0x4000 - 248),
       sampled},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeHost host(c.builder.Build());
    ExpectFingerprint(host, RunFingerprint(host), c.reads, false);
    FakeHost refused(c.builder.Build());
    EXPECT_FALSE(RunFingerprint(refused, {false, true, 0}).fingerprint.has_value());
  }
}

TEST(FingerprintTest, ASectionTableEndingJustBelow0x4000IsUsed) {
  const uint32_t size = kMiB;
  FakeHost host(PeImageBuilder::Typical(size).NewHeaderAt(0x4000 - 248 - 40 - 1).Build());
  ExpectFingerprint(host, RunFingerprint(host, {false, true, 0}),
                    {{0, 16384}, {0x400, 16384}, {size - 16384, 16384}}, true);
}

TEST(FingerprintTest, RepresentativenessComparesCodeSizeWithEntryBytes) {
  struct Case {
    int32_t cacheTreshold;
    uint32_t sizeOfCode;
    bool hashNonPE;
    bool succeeds;
    bool strong;
  };
  // The entry region delivers 16384 bytes.
  const Case cases[] = {
      {0, 0x7FFFFFFF, false, true, true}, {1, 16384, false, true, true},
      {1, 16385, true, true, false},      {1, 16385, false, false, false},
      {2, 32768, false, true, true},      {2, 0, false, true, true},
      {-1, 1, true, true, false},
  };
  const uint32_t size = kMiB;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.cacheTreshold << " " << c.sizeOfCode << " " << c.hashNonPE);
    FakeHost host(PeImageBuilder::Typical(size).SizeOfCode(c.sizeOfCode).Build());
    const FingerprintRun run = RunFingerprint(host, {c.hashNonPE, true, c.cacheTreshold});
    ASSERT_EQ(run.fingerprint.has_value(), c.succeeds);
    if (c.succeeds) {
      ExpectFingerprint(host, run, {{0, 16384}, {0x400, 16384}, {size - 16384, 16384}}, c.strong);
    }
  }
}

TEST(FingerprintTest, ImagesOfLinker2_25AppendTheirCodeSection) {
  const uint32_t size = kMiB;
  const uint32_t code = 150000;
  FakeHost host(PeImageBuilder::Typical(size)
                    .Linker(2, 25)
                    .SizeOfCode(code)
                    .Directory(12, 0x1000, 8)
                    .Build());
  const FingerprintRun run = RunFingerprint(host, {false, true, 0});
  ExpectFingerprint(host, run,
                    {{0, 16384},
                     {0x400, 4096},
                     {size - 16384, 16384},
                     {0x400, 65536},
                     {0x400 + 65536, 65536},
                     {0x400 + 131072, code - 131072}},
                    true);
  EXPECT_EQ(run.bytesBuffered, 0u);
}

TEST(FingerprintTest, Linker2_25ImagesAreNeverRepresentativeWithAThreshold) {
  const uint32_t size = kMiB;
  FakeHost host(
      PeImageBuilder::Typical(size).Linker(2, 25).SizeOfCode(100).Directory(12, 0x1000, 8).Build());
  ExpectFingerprint(host, RunFingerprint(host, {true, true, 1000}),
                    {{0, 16384}, {0x400, 4096}, {size - 16384, 16384}, {0x400, 100}}, false);
}

TEST(FingerprintTest, Linker2_25WithoutRegionsIsSampledAndStillAppendsItsCode) {
  const uint32_t size = kMiB;
  FakeHost host(PeImageBuilder::Typical(size).Linker(2, 25).SizeOfCode(100).Build());
  ExpectFingerprint(host, RunFingerprint(host),
                    {{0, 16384}, {size / 2 - 16384, 32768}, {size - 16384, 16384}, {0x400, 100}},
                    false);
}

TEST(FingerprintTest, TheCodeSectionStopsQuietlyAtTheEndOfTheFile) {
  const uint32_t size = 200000;
  FakeHost host(PeImageBuilder::Typical(size)
                    .Linker(2, 25)
                    .SizeOfCode(1000000)
                    .Directory(12, 0x1000, 8)
                    .Build());
  const FingerprintRun run = RunFingerprint(host, {false, true, 0});
  EXPECT_EQ(run.reads, (std::vector<FileRange>{{0, 16384},
                                               {0x400, 4096},
                                               {size - 16384, 16384},
                                               {0x400, 65536},
                                               {0x400 + 65536, 65536},
                                               {0x400 + 131072, 65536},
                                               {0x400 + 196608, 65536},
                                               {size, 65536}}));
  ASSERT_TRUE(run.fingerprint.has_value());
  EXPECT_EQ(run.fingerprint->digest,
            Md5Of(host, {{0, 16384}, {0x400, 4096}, {size - 16384, 16384}, {0x400, size}}));
}

}  // namespace
}  // namespace sondrel::test
