// Scans through the client library against a running sondrel-server, as a host does: many small
// files from several host threads (scans per second), then one large file pulled and scanned
// whole (its time, and the server's resident memory before and during it). Run by
// bench/server/run-server-bench.sh, which measures clamd on the same corpus in the same run.
//
//   sondrel_server_bench --port P --server-pid PID [--threads 4] [--files 2000]
//                        [--file-size 4096] [--large-mib 100] [--write-corpus DIR]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "e2e/library_client.h"
#include "platform/child_process.h"

namespace {

using sondrel::test::HostFile;
using sondrel::test::LibraryClient;
using Clock = std::chrono::steady_clock;

struct Arguments {
  uint16_t port = 0;
  int serverPid = 0;
  int threads = 4;
  int files = 2000;
  size_t fileSize = 4096;
  size_t largeMib = 100;
  std::string corpus;
};

Arguments Parse(int argc, char** argv) {
  Arguments arguments;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--port") {
      arguments.port = static_cast<uint16_t>(std::stoi(value));
    } else if (name == "--server-pid") {
      arguments.serverPid = std::stoi(value);
    } else if (name == "--threads") {
      arguments.threads = std::stoi(value);
    } else if (name == "--files") {
      arguments.files = std::stoi(value);
    } else if (name == "--file-size") {
      arguments.fileSize = std::stoul(value);
    } else if (name == "--large-mib") {
      arguments.largeMib = std::stoul(value);
    } else if (name == "--write-corpus") {
      arguments.corpus = value;
    }
  }
  return arguments;
}

std::string RandomContent(size_t size, std::mt19937_64& random) {
  std::string content(size, '\0');
  for (char& c : content) {
    c = static_cast<char>(random());
  }
  return content;
}

// The small files, distinct so that no cache can answer; written to disk for clamd when asked.
std::vector<std::string> SmallCorpus(const Arguments& arguments) {
  std::mt19937_64 random(20261211);
  std::vector<std::string> files;
  for (int i = 0; i < arguments.files; ++i) {
    files.push_back(RandomContent(arguments.fileSize, random));
  }
  return files;
}

uint64_t Rss(int pid) {
  return sondrel::platform::ResidentKib(pid).value_or(0);
}

}  // namespace

int main(int argc, char** argv) {
  const Arguments arguments = Parse(argc, argv);
  if (arguments.port == 0) {
    std::cerr << "usage: sondrel_server_bench --port P --server-pid PID [--threads N] [--files N] "
                 "[--file-size BYTES] [--large-mib N] [--write-corpus DIR]\n";
    return 2;
  }
  const std::vector<std::string> small = SmallCorpus(arguments);
  std::string large(arguments.largeMib << 20, 'L');
  std::mt19937_64 random(7);
  for (size_t i = 0; i < large.size(); i += 4096) {
    large[i] = static_cast<char>(random());
  }
  if (!arguments.corpus.empty()) {
    std::filesystem::create_directories(std::filesystem::path(arguments.corpus) / "small");
    for (size_t i = 0; i < small.size(); ++i) {
      std::ofstream(std::filesystem::path(arguments.corpus) / "small" / std::to_string(i),
                    std::ios::binary)
          << small[i];
    }
    std::ofstream(std::filesystem::path(arguments.corpus) / "large.bin", std::ios::binary) << large;
  }

  LibraryClient client({{}}, arguments.port, "<usecache>0</usecache><timeout>120000</timeout>");
  if (!client.Init(arguments.threads)) {
    std::cerr << "the library found no usable server on port " << arguments.port << "\n";
    return 1;
  }
  std::atomic<int> next{0};
  std::atomic<int> failures{0};
  const auto started = Clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < arguments.threads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = next++; i < arguments.files; i = next++) {
        HostFile file(small[static_cast<size_t>(i)]);
        const auto outcome =
            client.Scan(file, "small-" + std::to_string(i), static_cast<size_t>(t));
        if (outcome.status != 0 || outcome.verdict != 1) {
          ++failures;
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  const double smallSeconds = std::chrono::duration<double>(Clock::now() - started).count();
  std::printf("small files: %d x %zu bytes, %d host threads: %.2f s, %.0f scans/s, %d failed\n",
              arguments.files, arguments.fileSize, arguments.threads, smallSeconds,
              arguments.files / smallSeconds, failures.load());

  const uint64_t idleRss = Rss(arguments.serverPid);
  std::atomic<bool> scanning{true};
  std::atomic<uint64_t> peakRss{idleRss};
  std::thread sampler([&] {
    while (scanning) {
      peakRss = std::max<uint64_t>(peakRss, Rss(arguments.serverPid));
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  HostFile file(std::move(large));
  const auto largeStarted = Clock::now();
  const auto outcome = client.Scan(file, "large.bin");
  const double largeSeconds = std::chrono::duration<double>(Clock::now() - largeStarted).count();
  scanning = false;
  sampler.join();
  std::printf(
      "large file: %zu MiB pulled and scanned in %.2f s (%.0f MiB/s), status %d verdict %d\n",
      arguments.largeMib, largeSeconds, arguments.largeMib / largeSeconds, outcome.status,
      outcome.verdict);
  std::printf("server RSS: idle %llu KiB, during the large scan %llu KiB\n",
              static_cast<unsigned long long>(idleRss),
              static_cast<unsigned long long>(peakRss.load()));
  return failures.load() == 0 && outcome.status == 0 ? 0 : 1;
}
