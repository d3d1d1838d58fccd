// The scan engine: one compiled libclamav engine over a set of signature databases, scanning files
// whose bytes come through a read callback, so that only what the engine asks for is fetched.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct cl_engine;

namespace sondrel::server {

// Where the engine reads a file's bytes from.
class FileSource {
 public:
  virtual ~FileSource() = default;
  // Reads up to `count` bytes at `offset` into `buffer`: the bytes read, 0 at the end of the
  // file, -1 when the bytes cannot be had.
  virtual int64_t Read(void* buffer, size_t count, uint64_t offset) = 0;
};

struct EngineLimits {
  // Largest file the engine scans; it also bounds the data scanned within (four times this).
  uint64_t maxFileSize = 100ull << 20;
  uint32_t maxScanTimeMs = 300000;
  // Whether the engine carries its databases' version (database_version.h), which costs reading
  // every database file twice more at each load: only a server with a shared cache needs it.
  bool withDatabaseVersion = false;
};

struct EngineResult {
  enum class Kind { Clean, Infected, LimitsExceeded, Error };
  Kind kind = Kind::Error;
  std::string threat;  // the signature's name for a detection
  std::string error;   // the engine's text for an error
};

class Engine {
 public:
  // Loads and compiles the databases (files or directories); null with the reason in `error`.
  static std::shared_ptr<const Engine> Load(const std::vector<std::string>& databases,
                                            const EngineLimits& limits, std::string& error);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Scans a file of `size` bytes. Safe to call from several threads at once.
  EngineResult Scan(FileSource& source, uint64_t size, const std::string& name) const;

  unsigned signatures() const { return signatures_; }
  // A number no other engine of this process has: the databases the engine was built from.
  uint64_t generation() const { return generation_; }
  // The same text on every server whose engine is built from the same databases by the same
  // libclamav (database_version.h); empty when not asked for or when that cannot be told.
  const std::string& databaseVersion() const { return databaseVersion_; }

 private:
  Engine(cl_engine* engine, unsigned signatures, uint64_t generation, std::string databaseVersion)
      : engine_(engine),
        signatures_(signatures),
        generation_(generation),
        databaseVersion_(std::move(databaseVersion)) {}

  cl_engine* engine_;
  unsigned signatures_;
  uint64_t generation_;
  std::string databaseVersion_;
};

}  // namespace sondrel::server
