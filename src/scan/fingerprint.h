// The file fingerprint: an MD5 digest over a selection of the file's bytes that depends on its
// size and structure. It keys both the servers' caches and the local response cache, so every
// client selects exactly the same bytes in the same order.
#pragma once

#include <optional>

#include "scan/file_reader.h"
#include "scan/md5.h"

namespace sondrel {

struct FileFingerprint {
  Md5::Digest digest{};
  // A whole small file, a font-like file or a representative PE image; a sampled file is weak.
  bool strong = false;
};

// Computes the fingerprint through the reader's host callbacks. Leaves the start of the file in
// the reader's buffer with its length in bytesBuffered (0 on failure). Fails when the host
// fails, when the settings exclude the file (hashNonPE, hashSmallNonPE), or when MD5 is not
// available.
std::optional<FileFingerprint> ComputeFingerprint(FileReader& reader);

}  // namespace sondrel
