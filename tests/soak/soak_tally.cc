#include "soak/soak_tally.h"

namespace sondrel::test {
namespace {

constexpr size_t kNotesKept = 20;
constexpr const char* kThreatPrefix = "Sondrel.Test.";

}  // namespace

Outcome Classify(const CorpusFile& file, bool disinfection, int32_t status, int32_t verdict,
                 const std::string& threat) {
  const bool answeredStatus = status == 0 || (disinfection && status == kStatusNotDisinfected);
  if (!answeredStatus) {
    return Outcome::Failed;
  }
  if (file.infected && verdict == kVerdictClean) {
    return Outcome::ReportedClean;
  }
  const int32_t expectedStatus = disinfection && file.infected ? kStatusNotDisinfected : 0;
  const int32_t expectedVerdict = file.infected ? kVerdictInfected : kVerdictClean;
  // A disinfection hands no threat name back.
  const bool threatFits =
      disinfection || (file.infected ? threat.rfind(kThreatPrefix, 0) == 0 : threat.empty());
  return status == expectedStatus && verdict == expectedVerdict && threatFits
             ? Outcome::Answered
             : Outcome::WrongVerdict;
}

void SoakTally::Note(std::string note) {
  if (notes.size() < kNotesKept) {
    notes.push_back(std::move(note));
  }
}

void SoakTally::Merge(const SoakTally& other) {
  initFailures += other.initFailures;
  requests += other.requests;
  disinfections += other.disinfections;
  answered += other.answered;
  infectedRequests += other.infectedRequests;
  infectedDetected += other.infectedDetected;
  reportedClean += other.reportedClean;
  wrongVerdicts += other.wrongVerdicts;
  overdue += other.overdue;
  longest = std::max(longest, other.longest);
  lastUnanswered = std::max(lastUnanswered, other.lastUnanswered);
  afterRecovery += other.afterRecovery;
  failedAfterRecovery += other.failedAfterRecovery;
  for (const auto& [status, count] : other.failures) {
    failures[status] += count;
  }
  for (const std::string& note : other.notes) {
    Note(note);
  }
}

std::ostream& operator<<(std::ostream& out, const SoakTally& tally) {
  out << "CoreInit failures " << tally.initFailures << "; requests " << tally.requests
      << " (disinfections " << tally.disinfections << "), answered " << tally.answered
      << "; infected requests " << tally.infectedRequests << ", detected " << tally.infectedDetected
      << ", reported clean " << tally.reportedClean << "; wrong verdicts " << tally.wrongVerdicts
      << "; longest " << tally.longest.count() << " ms, over the bound " << tally.overdue
      << "; after recovery " << tally.afterRecovery << ", failed " << tally.failedAfterRecovery
      << "\nfailure statuses:";
  for (const auto& [status, count] : tally.failures) {
    out << " " << status << "x" << count;
  }
  return out;
}

}  // namespace sondrel::test
