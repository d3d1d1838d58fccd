// What the soak's hosts saw: requests, their outcomes and how long they took, per host thread
// and merged.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "soak/soak_corpus.h"

namespace sondrel::test {

enum class Outcome {
  // The expected verdict (and threat name) with the expected status.
  Answered,
  // A failure status; nothing was claimed about the file.
  Failed,
  // An infected file with the clean verdict.
  ReportedClean,
  // Any other answer that does not fit the file.
  WrongVerdict,
};

// What a request's status, verdict and threat name mean for `file`.
Outcome Classify(const CorpusFile& file, bool disinfection, int32_t status, int32_t verdict,
                 const std::string& threat);

struct SoakTally {
  uint64_t initFailures = 0;
  uint64_t requests = 0;
  uint64_t disinfections = 0;
  uint64_t answered = 0;
  uint64_t infectedRequests = 0;
  uint64_t infectedDetected = 0;
  uint64_t reportedClean = 0;
  uint64_t wrongVerdicts = 0;
  // Requests that took longer than the bound.
  uint64_t overdue = 0;
  std::chrono::milliseconds longest{0};
  // Requests begun after the client had time to recover, and those of them that failed.
  uint64_t afterRecovery = 0;
  uint64_t failedAfterRecovery = 0;
  // When the last request that was not answered began.
  std::chrono::steady_clock::time_point lastUnanswered{};
  // Failure statuses and how often each came.
  std::map<int32_t, uint64_t> failures;
  // The first problems, described.
  std::vector<std::string> notes;

  void Note(std::string note);
  void Merge(const SoakTally& other);
};

std::ostream& operator<<(std::ostream& out, const SoakTally& tally);

}  // namespace sondrel::test
