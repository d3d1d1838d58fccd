#include "server/server_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <thread>

#include "platform/process_info.h"
#include "platform/utf8.h"
#include "server/redis_cache.h"

namespace sondrel::server {
namespace {

constexpr const char* kDescription =
    "sondrel-server: a scan server for Sondrel clients, scanning with libclamav.";

constexpr const char* kFooter =
    R"(Durations are in seconds (fractions allowed); sizes take the suffixes K, M and G (1024-based).
Options may also come from an INI file given with --config, under the same names without the dashes
(for example "workers = 4"; repeat a key or use [a, b] for repeatable options).

Final statuses sent to clients (the client returns them to the host as the scan status):
  0     scanned (clean, or a detection reported)   1005  time-out: bytes not delivered in time
  1001  busy: queue full or shutting down          1006  protocol violation in a read answer
  1002  bad scan request                           1007  engine error
  1003  not scanned: file larger than the limit    1008  detection found, not disinfected
  1004  the client's read failed or came short     1009  not scanned completely: engine limits
                                                   1010  abandoned: the client went away
Error answers: 1101 message not deliverable, 1102 no slot available, 1103 bad slot request.

Signals: SIGHUP reloads the signature databases (running scans finish on the old ones);
SIGTERM and SIGINT stop accepting, report overload, let running scans finish within
--shutdown-timeout, and exit 0.)";

bool HasDatabases(const std::filesystem::path& directory) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    const std::string extension = entry.path().extension().string();
    if (extension == ".cvd" || extension == ".cld" || extension == ".cud") {
      return true;
    }
  }
  return false;
}

// The directory with the bundled signatures: beside the program (the build tree), in the data
// directory of an installation, or in the source tree.
std::optional<std::filesystem::path> BundledSignatures() {
  namespace fs = std::filesystem;
  const fs::path program = fs::path(platform::ToUtf8(platform::ExecutablePath()));
  const fs::path candidates[] = {
      program.parent_path() / "signatures",
      program.parent_path().parent_path() / SONDREL_SERVER_INSTALLED_SIGNATURES,
      fs::path(SONDREL_SERVER_SOURCE_SIGNATURES),
  };
  for (const fs::path& candidate : candidates) {
    std::error_code error;
    if (fs::is_directory(candidate, error)) {
      return candidate;
    }
  }
  return std::nullopt;
}

constexpr const char* kDefaultListen = "127.0.0.1:7081";

// Seconds, positive and below a day times a thousand.
CLI::Validator Seconds() {
  return CLI::Range(0.001, 86400.0 * 1000);
}

}  // namespace

std::optional<ListenAddress> ParseListenAddress(const std::string& text) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos) {
    return std::nullopt;
  }
  std::string host = text.substr(0, colon);
  const std::string port = text.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  if (host.empty()) {
    host = "0.0.0.0";
  }
  unsigned value = 0;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (error != std::errc() || end != port.data() + port.size() || port.empty() || value > 65535) {
    return std::nullopt;
  }
  return ListenAddress{host, static_cast<uint16_t>(value)};
}

std::string FormatListenAddress(const ListenAddress& address) {
  const bool v6 = address.host.find(':') != std::string::npos;
  return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

std::vector<std::string> DefaultDatabases() {
  std::vector<std::string> databases;
  if (const auto bundled = BundledSignatures()) {
    databases.push_back(bundled->string());
  }
  if (HasDatabases("/var/lib/clamav")) {
    databases.emplace_back("/var/lib/clamav");
  }
  return databases;
}

ParsedOptions ParseServerOptions(int argc, const char* const* argv, std::ostream& out,
                                 std::ostream& err) {
  ServerOptions options;
  options.workers = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::string> listen;
  std::vector<std::string> tlsListen;
  std::string metrics;
  std::string logLevel = "info";

  CLI::App app{kDescription, "sondrel-server"};
  app.footer(kFooter);
  app.set_version_flag("--version", std::to_string(SONDREL_SERVER_VERSION_MAJOR) + "." +
                                        std::to_string(SONDREL_SERVER_VERSION_MINOR));
  app.set_config("--config", "", "Read options from this INI file");
  app.add_option("--listen", listen,
                 "Plain TCP listener ADDRESS:PORT (repeatable; port 0 picks one)")
      ->capture_default_str();
  app.add_option("--tls-listen", tlsListen, "TLS listener ADDRESS:PORT (repeatable)");
  app.add_option("--tls-cert", options.tlsCert, "TLS certificate chain (PEM)")
      ->check(CLI::ExistingFile);
  app.add_option("--tls-key", options.tlsKey, "TLS private key (PEM)")->check(CLI::ExistingFile);
  app.add_option("--tls-client-ca", options.tlsClientCa,
                 "Require TLS clients to show a certificate signed by an authority of this PEM "
                 "file (mutual TLS)")
      ->check(CLI::ExistingFile);
  app.add_option("--database", options.databases,
                 "Signature database file or directory (repeatable; default: the bundled test "
                 "signatures, and /var/lib/clamav when it holds databases)");
  app.add_option("--workers", options.workers, "Scan worker threads (default: the number of cores)")
      ->check(CLI::Range(1u, 1024u));
  app.add_option("--queue-size", options.queueSize,
                 "Scans waiting for a worker; beyond it requests are answered busy; past 3/4 of "
                 "it the server reports overload")
      ->capture_default_str()
      ->check(CLI::Range(1u, 1000000u));
  app.add_option("--io-threads", options.ioThreads, "Network threads")
      ->capture_default_str()
      ->check(CLI::Range(1u, 256u));
  app.add_option("--connection-scans", options.connectionScans,
                 "Scans one connection may have running or waiting at once; beyond it: busy")
      ->capture_default_str()
      ->check(CLI::Range(1u, 100000u));
  app.add_option("--max-file-size", options.maxFileSize,
                 "Largest file scanned (at most 4G-1); larger ones get status 1003")
      ->transform(CLI::AsSizeValue(false))
      ->default_str("100M");
  app.add_option("--idle-timeout", options.idleTimeout,
                 "Close a connection that sends nothing for this long")
      ->capture_default_str()
      ->check(Seconds());
  app.add_option("--frame-timeout", options.frameTimeout,
                 "Close a connection that takes longer than this to deliver a frame it began, "
                 "or to take a frame we send")
      ->capture_default_str()
      ->check(Seconds());
  app.add_option("--scan-timeout", options.scanTimeout,
                 "Longest a scan may take, waits for the client included (the request's own "
                 "answer time-out is used when it is shorter)")
      ->capture_default_str()
      ->check(Seconds());
  app.add_option("--max-frame", options.maxFrame,
                 "Largest frame body accepted from a client (default 4M); a larger one closes "
                 "the connection")
      ->transform(CLI::AsSizeValue(false))
      ->check(CLI::Range(uint32_t{1024}, uint32_t{256u << 20}));
  app.add_option("--write-queue", options.writeQueueBytes,
                 "Bytes queued for a client that does not read before it is closed")
      ->transform(CLI::AsSizeValue(false))
      ->default_str("8M");
  app.add_option("--fetch-block", options.fetchBlock,
                 "Bytes asked of the client per read request (aligned blocks)")
      ->transform(CLI::AsSizeValue(false))
      ->default_str("1M")
      ->check(CLI::Range(uint32_t{4096}, uint32_t{1u << 20}));
  app.add_option("--read-ahead", options.readAhead,
                 "Read requests kept outstanding while the engine reads a file in order")
      ->capture_default_str()
      ->check(CLI::Range(1u, 16u));
  app.add_option("--cache-entries", options.cacheEntries,
                 "Clean results kept in the server cache (0 disables it)")
      ->capture_default_str();
  app.add_flag("--cache-weak-fingerprints", options.cacheWeakFingerprints,
               "Also answer from the cache for fingerprints the client marks weak");
  app.add_option("--shared-cache", options.sharedCache,
                 "redis://HOST:PORT of a Redis that the fleet's servers share as a cache of "
                 "clean results, beside each server's own");
  app.add_option("--shared-cache-timeout", options.sharedCacheTimeout,
                 "Longest a call to the shared cache may take; a slower or unreachable one is "
                 "left alone for a while and the scan goes on")
      ->capture_default_str()
      ->check(CLI::Range(0.001, 10.0));
  app.add_option("--shared-cache-expiry", options.sharedCacheExpiry,
                 "How long an entry of the shared cache is kept")
      ->default_str("604800")
      ->check(CLI::Range(1.0, 86400.0 * 3650));
  app.add_option("--slot-capacity", options.slotCapacity, "Slots one connection may hold")
      ->capture_default_str();
  app.add_option("--slot-expiry", options.slotExpiry, "Slots not kept are dropped after this")
      ->capture_default_str()
      ->check(Seconds());
  app.add_option("--metrics", metrics, "Serve Prometheus metrics over HTTP on ADDRESS:PORT");
  app.add_option("--shutdown-timeout", options.shutdownTimeout,
                 "On SIGTERM, how long running scans may take to finish")
      ->capture_default_str()
      ->check(Seconds());
  app.add_option("--expected-engine-version", options.expectedEngineVersion,
                 "MAJOR.MINOR the clients' engine version should be; a client announcing another "
                 "is told to update its signatures (unset: no engine check)");
  app.add_option("--log-level", logLevel, "error, warn, info or debug")
      ->capture_default_str()
      ->check(CLI::IsMember({"error", "warn", "info", "debug"}, CLI::ignore_case));

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help and --version end with 0; every usage error with 2, as daemons do.
    return {std::nullopt, app.exit(error, out, err) == 0 ? 0 : 2};
  }
  auto addresses = [&err](const std::vector<std::string>& texts, std::vector<ListenAddress>& into) {
    for (const std::string& text : texts) {
      const auto address = ParseListenAddress(text);
      if (!address) {
        err << "sondrel-server: not an ADDRESS:PORT: " << text << "\n";
        return false;
      }
      into.push_back(*address);
    }
    return true;
  };
  if (listen.empty() && tlsListen.empty()) {
    listen.emplace_back(kDefaultListen);
  }
  if (!addresses(listen, options.listen) || !addresses(tlsListen, options.tlsListen)) {
    return {std::nullopt, 2};
  }
  if (!metrics.empty()) {
    options.metrics = ParseListenAddress(metrics);
    if (!options.metrics) {
      err << "sondrel-server: --metrics needs ADDRESS:PORT\n";
      return {std::nullopt, 2};
    }
  }
  if (!options.sharedCache.empty() && !ParseRedisUrl(options.sharedCache)) {
    err << "sondrel-server: --shared-cache needs redis://HOST:PORT\n";
    return {std::nullopt, 2};
  }
  if (!options.tlsListen.empty() && (options.tlsCert.empty() || options.tlsKey.empty())) {
    err << "sondrel-server: --tls-listen needs --tls-cert and --tls-key\n";
    return {std::nullopt, 2};
  }
  if (!options.tlsClientCa.empty() && options.tlsListen.empty()) {
    err << "sondrel-server: --tls-client-ca needs --tls-listen\n";
    return {std::nullopt, 2};
  }
  options.maxFileSize = std::min(options.maxFileSize, kEngineMaxFileSize);
  if (options.maxFrame == 0) {
    options.maxFrame = kDefaultMaxFrame;
  }
  if (options.databases.empty()) {
    options.databases = DefaultDatabases();
  }
  const std::map<std::string, LogLevel> levels{{"error", LogLevel::Error},
                                               {"warn", LogLevel::Warn},
                                               {"info", LogLevel::Info},
                                               {"debug", LogLevel::Debug}};
  std::string lower = logLevel;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  options.logLevel = levels.at(lower);
  return {options, 0};
}

}  // namespace sondrel::server
