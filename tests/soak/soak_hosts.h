// The host threads of the soak: each takes a context of its own with CoreInit, then scans (and
// now and then disinfects) files of the corpus picked at random until told to stop, checks every
// outcome against the file, times every request, and gives its context back with CoreUninit.
// After a failed request it pauses as a host would while it scans the file itself.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "soak/library_exports.h"
#include "soak/soak_corpus.h"
#include "soak/soak_tally.h"

namespace sondrel::test {

class SoakHosts {
 public:
  using Clock = std::chrono::steady_clock;

  // `bound`: the longest a request may take.
  SoakHosts(const LibraryExports& library, SondrelObject* client,
            const std::vector<CorpusFile>& corpus, uint32_t seed, std::chrono::milliseconds bound);
  ~SoakHosts();
  SoakHosts(const SoakHosts&) = delete;
  SoakHosts& operator=(const SoakHosts&) = delete;

  // Starts `count` host threads; each calls CoreInit with `engineDirectory` first.
  void Start(size_t count, const std::string& engineDirectory);
  // Requests begun from `at` on must all be answered.
  void ExpectRecoveredFrom(Clock::time_point at);
  // Stops and joins the threads; what they saw.
  SoakTally Stop();

 private:
  void run(size_t index, const std::string& engineDirectory);
  Outcome request(SondrelScanContext* context, const CorpusFile& file, bool disinfection,
                  SoakTally& tally);

  const LibraryExports& library_;
  SondrelObject* const client_;
  const std::vector<CorpusFile>& corpus_;
  const uint32_t seed_;
  const std::chrono::milliseconds bound_;
  std::atomic<bool> stopping_{false};
  std::atomic<Clock::rep> recoveredFrom_{Clock::time_point::max().time_since_epoch().count()};
  std::vector<std::thread> threads_;
  std::mutex tallyMutex_;
  SoakTally tally_;
};

}  // namespace sondrel::test
