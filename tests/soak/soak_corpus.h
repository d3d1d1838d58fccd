// The files the soak's hosts scan: clean ones and infected ones of several sizes, held in memory
// and offered to the library through the host callbacks (read-only: a disinfection can write
// nothing).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sondrel/sondrel.h"

namespace sondrel::test {

inline constexpr int32_t kVerdictClean = 1;
inline constexpr int32_t kVerdictInfected = 0x20;
// The server's final status of a disinfection that found a threat it cannot clean.
inline constexpr int32_t kStatusNotDisinfected = 1008;

struct CorpusFile {
  std::string name;
  std::string content;
  bool infected = false;
  // How often a host picks this file, relative to the others.
  unsigned weight = 1;

  // The callbacks over this file; `user` is the file itself, which must outlive the request.
  HostCallbacks Callbacks() const;
};

std::vector<CorpusFile> MakeCorpus();

}  // namespace sondrel::test
