// Running the fingerprint over an in-memory host, and the digest the tests expect, computed
// with OpenSSL over the bytes a case says are selected.
#pragma once

#include <openssl/evp.h>

#include <optional>
#include <vector>

#include "scan/fingerprint.h"
#include "support/fake_host/fake_host.h"

namespace sondrel::test {

struct FingerprintSettings {
  bool hashNonPE = true;
  bool hashSmallNonPE = true;
  int32_t cacheTreshold = 0;
};

struct FingerprintRun {
  std::optional<FileFingerprint> fingerprint;
  std::vector<FileRange> reads;
  uint32_t bytesBuffered = 0;
  std::vector<uint8_t> buffer;  // the reader's buffer afterwards
};

inline FingerprintRun RunFingerprint(FakeHost& host, const FingerprintSettings& settings = {}) {
  FileReader reader;
  reader.callbacks = &host.callbacks();
  reader.hashNonPE = settings.hashNonPE;
  reader.hashSmallNonPE = settings.hashSmallNonPE;
  reader.cacheTreshold = settings.cacheTreshold;
  reader.bytesBuffered = 12345;
  FingerprintRun run;
  run.fingerprint = ComputeFingerprint(reader);
  run.reads = host.reads();
  run.bytesBuffered = reader.bytesBuffered;
  run.buffer.assign(reader.buffer.begin(), reader.buffer.end());
  return run;
}

inline Md5::Digest Md5Of(const std::vector<uint8_t>& bytes) {
  Md5::Digest digest{};
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_md5(), nullptr);
  return digest;
}

// MD5 over the file's bytes in these ranges, one after the other.
inline Md5::Digest Md5Of(const FakeHost& host, const std::vector<FileRange>& ranges) {
  std::vector<uint8_t> selected;
  for (const FileRange& range : ranges) {
    const std::vector<uint8_t> bytes = host.Bytes(range.offset, range.count);
    selected.insert(selected.end(), bytes.begin(), bytes.end());
  }
  return Md5Of(selected);
}

}  // namespace sondrel::test
