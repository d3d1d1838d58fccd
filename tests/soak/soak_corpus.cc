#include "soak/soak_corpus.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace sondrel::test {
namespace {

constexpr const char* kEicar =
    "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
// Known to the bundled signatures by its MD5.
constexpr const char* kHashedFile = "sondrel test file: detected by its hash\n";

std::string Noise(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  std::generate(bytes.begin(), bytes.end(), [&random] { return static_cast<char>(random()); });
  return bytes;
}

std::string WithEicarAt(size_t size, size_t offset, uint32_t seed) {
  std::string bytes = Noise(size, seed);
  bytes.replace(offset, std::strlen(kEicar), kEicar);
  return bytes;
}

}  // namespace

HostCallbacks CorpusFile::Callbacks() const {
  HostCallbacks callbacks{};
  callbacks.user = const_cast<CorpusFile*>(this);
  callbacks.getSize = [](uint32_t* low, uint32_t* high, void* user) {
    const uint64_t size = static_cast<const CorpusFile*>(user)->content.size();
    *low = static_cast<uint32_t>(size);
    *high = static_cast<uint32_t>(size >> 32);
    return int32_t{0};
  };
  callbacks.read = [](void* buffer, const HostFileRange* range, uint32_t* read, void* user) {
    const std::string& content = static_cast<const CorpusFile*>(user)->content;
    const size_t offset = std::min<size_t>(range->offset, content.size());
    *read = static_cast<uint32_t>(std::min<size_t>(range->count, content.size() - offset));
    std::memcpy(buffer, content.data() + offset, *read);
    return int32_t{0};
  };
  callbacks.getProcInfo = [](int32_t* processInfo, void*) {
    *processInfo = 0;
    return int32_t{0};
  };
  return callbacks;
}

std::vector<CorpusFile> MakeCorpus() {
  return {
      {"clean.txt", "a clean file, with nothing in it worth reporting\n", false, 6},
      {"clean-16k.bin", Noise(16384, 1), false, 4},
      {"clean-300k.bin", Noise(300000, 2), false, 2},
      {"clean-2m.bin", Noise((2u << 20) + 123, 3), false, 1},
      {"eicar.com", kEicar, true, 6},
      {"hashed.bin", kHashedFile, true, 3},
      // Across the end of the start of the file that goes with the request.
      {"eicar-at-16k.bin", WithEicarAt(40000, 16384 - 30, 4), true, 3},
      // Beyond the first block the server asks for.
      {"eicar-at-1m5.bin", WithEicarAt(2u << 20, 3u << 19, 5), true, 1},
  };
}

}  // namespace sondrel::test
