// The server's options, from the command line and an optional INI configuration file with the
// same names (--config FILE).
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace sondrel::server {

struct ListenAddress {
  std::string host;
  uint16_t port = 0;
};

enum class LogLevel { Error, Warn, Info, Debug };

struct ServerOptions {
  std::vector<ListenAddress> listen;
  std::vector<ListenAddress> tlsListen;
  std::string tlsCert;
  std::string tlsKey;
  // Clients must show a certificate that this CA file's authorities signed.
  std::string tlsClientCa;
  std::vector<std::string> databases;
  unsigned workers = 1;
  unsigned queueSize = 64;
  unsigned ioThreads = 2;
  unsigned connectionScans = 32;
  uint64_t maxFileSize = 100ull << 20;
  double idleTimeout = 120;
  double frameTimeout = 30;
  double scanTimeout = 300;
  uint32_t maxFrame = 0;
  uint32_t writeQueueBytes = 8u << 20;
  uint32_t fetchBlock = 1u << 20;
  unsigned readAhead = 4;
  size_t cacheEntries = 100000;
  bool cacheWeakFingerprints = false;
  // redis://HOST:PORT of the cache the fleet shares; empty: none.
  std::string sharedCache;
  double sharedCacheTimeout = 0.05;
  double sharedCacheExpiry = 7 * 24 * 3600;
  unsigned slotCapacity = 64;
  double slotExpiry = 600;
  std::optional<ListenAddress> metrics;
  double shutdownTimeout = 30;
  std::string expectedEngineVersion;
  LogLevel logLevel = LogLevel::Info;
};

// The largest file the engine accepts: its size limits are 32-bit.
inline constexpr uint64_t kEngineMaxFileSize = 0xFFFFFFFFull;
// The largest frame body accepted by default: a file piece of 1 MiB with its descriptor and
// headers, or a scan request with its initial buffer, with room to spare.
inline constexpr uint32_t kDefaultMaxFrame = 4u << 20;

struct ParsedOptions {
  std::optional<ServerOptions> options;
  // When there are no options: the exit code (0 after --help or --version).
  int exitCode = 0;
};

// Parses the arguments; help, version and errors are written to `out` and `err`.
ParsedOptions ParseServerOptions(int argc, const char* const* argv, std::ostream& out,
                                 std::ostream& err);

// "HOST:PORT", "[V6]:PORT" or ":PORT" (all addresses).
std::optional<ListenAddress> ParseListenAddress(const std::string& text);
std::string FormatListenAddress(const ListenAddress& address);

// The databases used when none is named: the bundled signature file beside the program, in the
// install data directory or in the source tree, and the system's databases when there are any.
std::vector<std::string> DefaultDatabases();

}  // namespace sondrel::server
