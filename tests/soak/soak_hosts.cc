#include "soak/soak_hosts.h"

#include <random>
#include <sstream>

namespace sondrel::test {
namespace {

// One request in this many is a disinfection.
constexpr unsigned kDisinfectionShare = 10;
// What a host spends on a file it scans itself because the request failed.
constexpr auto kLocalScanTime = std::chrono::milliseconds(5);

std::string Describe(const CorpusFile& file, bool disinfection, int32_t status, int32_t verdict,
                     const std::string& threat, std::chrono::milliseconds took) {
  std::ostringstream text;
  text << (disinfection ? "disinfection" : "scan") << " of " << file.name << ": status " << status
       << ", verdict " << verdict << ", threat \"" << threat << "\", " << took.count() << " ms";
  return text.str();
}

}  // namespace

SoakHosts::SoakHosts(const LibraryExports& library, SondrelObject* client,
                     const std::vector<CorpusFile>& corpus, uint32_t seed,
                     std::chrono::milliseconds bound)
    : library_(library), client_(client), corpus_(corpus), seed_(seed), bound_(bound) {}

SoakHosts::~SoakHosts() {
  Stop();
}

void SoakHosts::Start(size_t count, const std::string& engineDirectory) {
  for (size_t i = 0; i < count; ++i) {
    threads_.emplace_back([this, i, engineDirectory] { run(i, engineDirectory); });
  }
}

void SoakHosts::ExpectRecoveredFrom(Clock::time_point at) {
  recoveredFrom_.store(at.time_since_epoch().count());
}

SoakTally SoakHosts::Stop() {
  stopping_.store(true);
  for (std::thread& thread : threads_) {
    thread.join();
  }
  threads_.clear();
  std::lock_guard<std::mutex> lock(tallyMutex_);
  return tally_;
}

void SoakHosts::run(size_t index, const std::string& engineDirectory) {
  SondrelScanContext* context = nullptr;
  const int32_t initResult = library_.coreInit(client_, &context, engineDirectory.c_str());
  if (initResult != 0) {
    std::lock_guard<std::mutex> lock(tallyMutex_);
    ++tally_.initFailures;
    tally_.Note("CoreInit returned " + std::to_string(initResult));
    return;
  }
  std::mt19937 random(seed_ + static_cast<uint32_t>(index) + 1);
  std::vector<unsigned> weights;
  for (const CorpusFile& file : corpus_) {
    weights.push_back(file.weight);
  }
  std::discrete_distribution<size_t> pick(weights.begin(), weights.end());
  SoakTally tally;
  while (!stopping_.load()) {
    const CorpusFile& file = corpus_[pick(random)];
    if (request(context, file, random() % kDisinfectionShare == 0, tally) != Outcome::Answered) {
      std::this_thread::sleep_for(kLocalScanTime);
    }
  }
  library_.coreUninit(client_, context, 0);
  std::lock_guard<std::mutex> lock(tallyMutex_);
  tally_.Merge(tally);
}

Outcome SoakHosts::request(SondrelScanContext* context, const CorpusFile& file, bool disinfection,
                           SoakTally& tally) {
  const HostCallbacks callbacks = file.Callbacks();
  int32_t verdict = -1;
  char threat[128] = {};
  const Clock::time_point begun = Clock::now();
  int32_t status = 0;
  if (disinfection) {
    const DisinfectRequest disinfect{&verdict, file.name.c_str(), nullptr, nullptr};
    status = library_.coreDisinfect(client_, &callbacks, &disinfect, context);
  } else {
    int32_t flags = 0;
    ScanRequest scan{};
    scan.path = file.name.c_str();
    scan.verdict = &verdict;
    scan.threatName = threat;
    scan.threatNameCapacity = sizeof(threat);
    scan.cacheAllowed = 1;
    scan.flags = &flags;
    status = library_.coreScan(client_, &callbacks, &scan, context);
  }
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begun);
  const Outcome outcome = Classify(file, disinfection, status, verdict, threat);

  ++tally.requests;
  tally.disinfections += disinfection ? 1 : 0;
  tally.infectedRequests += file.infected ? 1 : 0;
  tally.longest = std::max(tally.longest, took);
  if (took > bound_) {
    ++tally.overdue;
    tally.Note("over the bound: " + Describe(file, disinfection, status, verdict, threat, took));
  }
  if (outcome != Outcome::Answered) {
    tally.lastUnanswered = std::max(tally.lastUnanswered, begun);
  }
  switch (outcome) {
    case Outcome::Answered:
      ++tally.answered;
      tally.infectedDetected += file.infected ? 1 : 0;
      break;
    case Outcome::Failed:
      ++tally.failures[status];
      break;
    case Outcome::ReportedClean:
      ++tally.reportedClean;
      tally.Note("reported clean: " + Describe(file, disinfection, status, verdict, threat, took));
      break;
    case Outcome::WrongVerdict:
      ++tally.wrongVerdicts;
      tally.Note("wrong answer: " + Describe(file, disinfection, status, verdict, threat, took));
      break;
  }
  if (begun.time_since_epoch().count() >= recoveredFrom_.load()) {
    ++tally.afterRecovery;
    if (outcome != Outcome::Answered) {
      ++tally.failedAfterRecovery;
      tally.Note("after recovery: " + Describe(file, disinfection, status, verdict, threat, took));
    }
  }
  return outcome;
}

}  // namespace sondrel::test
