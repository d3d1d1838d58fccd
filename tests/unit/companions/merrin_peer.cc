// A second process on the response cache: loads Merrin.so as the client does and runs the
// commands of its command line in order, each over a range of entries numbered as
// FingerprintOf numbers them (size n, fingerprint of n, cache value 1):
//
//   merrin_peer <Merrin.so> (store|find|miss) <first> <count> [(store|find|miss) ...]
//
// "find" expects every entry of the range to be found and "miss" none. Exit code 0 when every
// command held, 1 when one did not, 2 when the command line is wrong or the library fails.
#include <cstdint>
#include <cstdio>
#include <string>

#include "companions/companion_paths.h"
#include "companions/i_response_cache.h"
#include "companions/response_cache_calls.h"
#include "companions/serv_plugin.h"
#include "merrin_test_support.h"
#include "platform/utf8.h"

namespace {

bool RunCommand(sondrel::IResponseCacheService* service, const std::string& command, uint32_t first,
                uint32_t count, bool& valid) {
  bool held = true;
  for (uint32_t n = first; n < first + count; ++n) {
    const sondrel::test::Fingerprint fingerprint = sondrel::test::FingerprintOf(n);
    if (command == "store") {
      sondrel::CacheStore(service, n, fingerprint, 1);
    } else if (command == "find" || command == "miss") {
      held = held && sondrel::CacheLookup(service, n, fingerprint, 1) == (command == "find");
    } else {
      valid = false;
      return false;
    }
  }
  return held;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || (argc - 2) % 3 != 0) {
    std::fprintf(stderr, "usage: merrin_peer LIBRARY (store|find|miss) FIRST COUNT ...\n");
    return 2;
  }
  sondrel::ServPluginModule module;
  sondrel::IResponseCacheService* service = nullptr;
  if (!sondrel::StartPlugin(module, service, sondrel::platform::ToWide(argv[1]),
                            sondrel::kCacheObjectName, sondrel::kResponseCacheServiceId)) {
    std::fprintf(stderr, "merrin_peer: %s did not start\n", argv[1]);
    return 2;
  }
  bool valid = true;
  bool held = true;
  for (int i = 2; i + 2 < argc && valid; i += 3) {
    const uint32_t first = static_cast<uint32_t>(std::stoul(argv[i + 1]));
    const uint32_t count = static_cast<uint32_t>(std::stoul(argv[i + 2]));
    if (!RunCommand(service, argv[i], first, count, valid) && valid) {
      std::fprintf(stderr, "merrin_peer: %s %u %u did not hold\n", argv[i], first, count);
      held = false;
    }
  }
  sondrel::StopPlugin(module, service);
  return !valid ? 2 : held ? 0 : 1;
}
