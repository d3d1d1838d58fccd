// Fingerprint throughput through the in-memory host, next to a bare MD5 loop over the same
// number of bytes measured in the same run. After the table, one line per file kind gives the
// fingerprint's time over the baseline's.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "scan/fingerprint.h"
#include "support/fake_host/fake_host.h"
#include "support/fake_host/pe_image_builder.h"

namespace {

using sondrel::FileReader;
using sondrel::test::FakeHost;
using sondrel::test::PeImageBuilder;

constexpr uint32_t kFileSize = 8 * 1048576;
constexpr uint32_t kSelected = 65536;           // bytes a large file contributes
constexpr uint32_t kCodeSection = 2 * 1048576;  // appended for images of linker 2.25

std::vector<uint8_t> PeImage() {
  return PeImageBuilder::Typical(kFileSize)
      .Directory(12, 0x1000, 8)
      .Directory(9, 0x1800, 8)
      .Directory(2, 0x9000, 8)
      .Build();
}

std::vector<uint8_t> Linker225Image() {
  return PeImageBuilder::Typical(kFileSize)
      .Linker(2, 25)
      .SizeOfCode(kCodeSection)
      .Directory(12, 0x1000, 8)
      .Directory(9, 0x2000, 8)
      .Directory(2, 0x9000, 8)
      .Build();
}

void RunFingerprint(benchmark::State& state, std::vector<uint8_t> file, uint64_t bytesHashed) {
  FakeHost host(std::move(file));
  FileReader reader;
  reader.callbacks = &host.callbacks();
  reader.hashNonPE = true;
  for (auto _ : state) {
    auto fingerprint = sondrel::ComputeFingerprint(reader);
    benchmark::DoNotOptimize(fingerprint);
    if (!fingerprint) {
      state.SkipWithError("fingerprint failed");
      break;
    }
    host.ClearReads();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytesHashed));
}

void Md5Baseline(benchmark::State& state) {
  const std::vector<uint8_t> bytes = sondrel::test::PatternFile(state.range(0));
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  for (auto _ : state) {
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void FingerprintPeImage(benchmark::State& state) {
  RunFingerprint(state, PeImage(), kSelected);
}
void FingerprintDataFile(benchmark::State& state) {
  RunFingerprint(state, sondrel::test::PatternFile(kFileSize), kSelected);
}
void FingerprintLinker225Image(benchmark::State& state) {
  RunFingerprint(state, Linker225Image(), kSelected + kCodeSection);
}

BENCHMARK(FingerprintPeImage);
BENCHMARK(FingerprintDataFile);
BENCHMARK(Md5Baseline)->Arg(kSelected);
BENCHMARK(FingerprintLinker225Image);
BENCHMARK(Md5Baseline)->Arg(kSelected + kCodeSection);

// Keeps the real time of every run so that the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        times_[run.benchmark_name()] = run.GetAdjustedRealTime();
      }
    }
  }

  void PrintRatios() const {
    const std::pair<const char*, std::string> pairs[] = {
        {"FingerprintPeImage", "Md5Baseline/" + std::to_string(kSelected)},
        {"FingerprintDataFile", "Md5Baseline/" + std::to_string(kSelected)},
        {"FingerprintLinker225Image", "Md5Baseline/" + std::to_string(kSelected + kCodeSection)},
    };
    for (const auto& [fingerprint, baseline] : pairs) {
      const auto a = times_.find(fingerprint);
      const auto b = times_.find(baseline);
      if (a != times_.end() && b != times_.end()) {
        std::printf("%-26s %.2fx the bare MD5 of the same bytes (%s)\n", fingerprint,
                    a->second / b->second, baseline.c_str());
      }
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
