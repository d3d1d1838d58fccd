// A host that fails, delivers nothing, delivers less than asked or claims more than asked, at
// any read: the fingerprint either fails cleanly or takes the path meant for that step, and
// never hashes a byte that was not delivered.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "scan/fingerprint.h"
#include "support/fake_host/pe_image_builder.h"
#include "unit/scan/fingerprint_test_support.h"

namespace sondrel::test {
namespace {

constexpr uint32_t kSize = 1048576;

TEST(FingerprintHostFaultsTest, FailedGetSizeFailsWithoutReading) {
  FakeHost host(PatternFile(100));
  host.FailGetSize();
  const FingerprintRun run = RunFingerprint(host);
  EXPECT_FALSE(run.fingerprint.has_value());
  EXPECT_TRUE(run.reads.empty());
  EXPECT_EQ(run.bytesBuffered, 0u);
}

TEST(FingerprintHostFaultsTest, AHostWithoutFunctionsFails) {
  FakeHost host(PatternFile(100));
  host.callbacks().read = nullptr;
  EXPECT_FALSE(RunFingerprint(host).fingerprint.has_value());
  host.callbacks().getSize = nullptr;
  EXPECT_FALSE(RunFingerprint(host).fingerprint.has_value());
}

TEST(FingerprintHostFaultsTest, AFailedFirstReadFailsTheStep) {
  const std::function<void(FakeHost&)> faults[] = {
      [](FakeHost& host) { host.FailRead(0); },
      [](FakeHost& host) { host.ReadNothing(0); },
      [](FakeHost& host) { host.ReadTooMuch(0); },
  };
  for (const uint32_t size : {1000u, kSize}) {
    for (const auto& fault : faults) {
      FakeHost host(PatternFile(size));
      fault(host);
      const FingerprintRun run = RunFingerprint(host);
      EXPECT_FALSE(run.fingerprint.has_value()) << size;
      EXPECT_EQ(run.reads.size(), 1u) << size;
      EXPECT_EQ(run.bytesBuffered, 0u) << size;
    }
  }
}

TEST(FingerprintHostFaultsTest, AShortSmallFileReadKeepsTheFileStartInTheBuffer) {
  const std::vector<uint8_t> file = PatternFile(30000);
  FakeHost host(file);
  host.ReadShort(0, 20000);
  const FingerprintRun run = RunFingerprint(host);
  EXPECT_EQ(run.reads, (std::vector<FileRange>{{0, 30000}, {20000, 10000}}));
  ASSERT_TRUE(run.fingerprint.has_value());
  EXPECT_EQ(run.fingerprint->digest, Md5Of(file));
  EXPECT_TRUE(run.fingerprint->strong);
  EXPECT_EQ(run.bytesBuffered, 20000u);
  EXPECT_TRUE(std::equal(file.begin(), file.end(), run.buffer.begin()));

  FakeHost failing(file);
  failing.ReadShort(0, 20000);
  failing.ReadNothing(1);
  EXPECT_FALSE(RunFingerprint(failing).fingerprint.has_value());
}

TEST(FingerprintHostFaultsTest, AFailedEntryReadSamplesTheFile) {
  FakeHost host(PeImageBuilder::Typical(kSize).Build());
  host.FailRead(1);
  const FingerprintRun run = RunFingerprint(host);
  EXPECT_EQ(run.reads,
            (std::vector<FileRange>{
                {0, 16384}, {0x400, 16384}, {kSize / 2 - 16384, 32768}, {kSize - 16384, 16384}}));
  ASSERT_TRUE(run.fingerprint.has_value());
  EXPECT_EQ(run.fingerprint->digest,
            Md5Of(host, {{0, 16384}, {kSize / 2 - 16384, 32768}, {kSize - 16384, 16384}}));
  EXPECT_FALSE(run.fingerprint->strong);
}

TEST(FingerprintHostFaultsTest, AShortHeadNeverParsesBeyondWhatArrived) {
  // The signature at 0x80 arrived, the section table at 0x178 did not.
  FakeHost host(PeImageBuilder::Typical(kSize).Build());
  host.ReadShort(0, 0x100);
  const FingerprintRun run = RunFingerprint(host);
  EXPECT_EQ(run.reads, (std::vector<FileRange>{
                           {0, 16384}, {kSize / 2 - 16384, 32768}, {kSize - 16384, 16384}}));
  ASSERT_TRUE(run.fingerprint.has_value());
  EXPECT_EQ(run.fingerprint->digest,
            Md5Of(host, {{0, 0x100}, {kSize / 2 - 16384, 32768}, {kSize - 16384, 16384}}));
  EXPECT_EQ(run.bytesBuffered, 0x100u);
}

TEST(FingerprintHostFaultsTest, FailedSamplesFailTheStep) {
  for (const size_t index : {1u, 2u}) {
    FakeHost host(PatternFile(kSize));
    host.ReadTooMuch(index);
    const FingerprintRun run = RunFingerprint(host);
    EXPECT_FALSE(run.fingerprint.has_value()) << index;
    EXPECT_EQ(run.reads.size(), index + 1) << index;
    EXPECT_EQ(run.bytesBuffered, 0u) << index;
  }
}

// Every fault at every read of several files: a digest, when there is one, covers exactly the
// bytes the host delivered, in order.
TEST(FingerprintHostFaultsTest, EveryFaultAtEveryReadHashesOnlyDeliveredBytes) {
  struct File {
    const char* name;
    std::vector<uint8_t> bytes;
    size_t maxReads;
  };
  const File files[] = {
      {"small", PatternFile(40000), 2},
      {"data", PatternFile(kSize), 3},
      {"image",
       PeImageBuilder::Typical(kSize)
           .Directory(12, 0x1000, 8)
           .Directory(9, 0x1800, 8)
           .Directory(2, 0x9000, 8)
           .Build(),
       6},
      {"linker 2.25",
       PeImageBuilder::Typical(kSize)
           .Linker(2, 25)
           .SizeOfCode(140000)
           .Directory(12, 0x1000, 8)
           .Build(),
       6 + 3},
  };
  const std::pair<const char*, std::function<void(FakeHost&, size_t)>> faults[] = {
      {"fail", [](FakeHost& host, size_t k) { host.FailRead(k); }},
      {"nothing", [](FakeHost& host, size_t k) { host.ReadNothing(k); }},
      {"short", [](FakeHost& host, size_t k) { host.ReadShort(k, 100); }},
      {"too much", [](FakeHost& host, size_t k) { host.ReadTooMuch(k); }},
  };
  for (const File& file : files) {
    for (const auto& [faultName, inject] : faults) {
      for (size_t k = 0; k < file.maxReads; ++k) {
        SCOPED_TRACE(testing::Message() << file.name << ", " << faultName << " at read " << k);
        FakeHost host(file.bytes);
        inject(host, k);
        const FingerprintRun run = RunFingerprint(host);
        const std::vector<ReadCall> calls = host.readCalls();
        EXPECT_LE(calls.size(), file.maxReads);
        if (!run.fingerprint) {
          EXPECT_EQ(run.bytesBuffered, 0u);
          continue;
        }
        std::vector<FileRange> delivered;
        for (const ReadCall& call : calls) {
          if (call.result == 0 && call.delivered <= call.range.count) {
            delivered.push_back({call.range.offset, call.delivered});
          }
        }
        EXPECT_EQ(run.fingerprint->digest, Md5Of(host, delivered));
      }
    }
  }
}

}  // namespace
}  // namespace sondrel::test
