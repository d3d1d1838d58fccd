#include "server/engine.h"

#include <clamav.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string_view>

#include "server/database_version.h"
#include "server/server_log.h"

namespace sondrel::server {
namespace {

// Detections the engine makes up when a file goes beyond one of its limits: not a threat, but a
// scan that did not see everything.
constexpr std::string_view kLimitsExceeded = "Heuristics.Limits.Exceeded";

std::atomic<uint64_t> gNextGeneration{1};

void LogEngineMessage(enum cl_msg severity, const char*, const char* message, void*) {
  std::string_view text = message != nullptr ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  // The engine's errors are mostly about a file (a read that failed, a broken archive) and end
  // up in that scan's outcome; they stay warnings here.
  const LogLevel level = severity == CL_MSG_ERROR ? LogLevel::Warn : LogLevel::Debug;
  SERVER_LOG(level, "engine: " << text);
}

bool InitialiseLibrary(std::string& error) {
  static std::once_flag once;
  static cl_error_t result = CL_SUCCESS;
  std::call_once(once, [] {
    cl_set_clcb_msg(&LogEngineMessage);
    result = cl_init(CL_INIT_DEFAULT);
  });
  if (result != CL_SUCCESS) {
    error = std::string("cannot initialise libclamav: ") + cl_strerror(result);
    return false;
  }
  return true;
}

// The source of one scan, and whether any of its reads failed: libclamav gives up on the bytes
// it cannot read and may still call the file clean, so a failed read makes the result an error.
struct TrackedSource {
  FileSource& source;
  bool failed = false;
};

off_t ReadThroughSource(void* handle, void* buffer, size_t count, off_t offset) {
  auto& tracked = *static_cast<TrackedSource*>(handle);
  const int64_t read =
      offset < 0 ? -1 : tracked.source.Read(buffer, count, static_cast<uint64_t>(offset));
  if (read < 0) {
    tracked.failed = true;
    return -1;
  }
  return static_cast<off_t>(read);
}

}  // namespace

std::shared_ptr<const Engine> Engine::Load(const std::vector<std::string>& databases,
                                           const EngineLimits& limits, std::string& error) {
  if (!InitialiseLibrary(error)) {
    return nullptr;
  }
  if (databases.empty()) {
    error = "no signature database to load";
    return nullptr;
  }
  cl_engine* engine = cl_engine_new();
  if (engine == nullptr) {
    error = "cannot create an engine";
    return nullptr;
  }
  // Taken before and after loading: files that changed meanwhile give no version at all.
  std::string databaseVersion =
      limits.withDatabaseVersion ? DatabaseVersion(databases) : std::string();
  const uint64_t scanSize = std::min<uint64_t>(limits.maxFileSize * 4, 0xFFFFFFFFull);
  cl_engine_set_num(engine, CL_ENGINE_MAX_FILESIZE, static_cast<long long>(limits.maxFileSize));
  cl_engine_set_num(engine, CL_ENGINE_MAX_SCANSIZE, static_cast<long long>(scanSize));
  cl_engine_set_num(engine, CL_ENGINE_MAX_SCANTIME, limits.maxScanTimeMs);
  unsigned signatures = 0;
  for (const std::string& database : databases) {
    const cl_error_t loaded = cl_load(database.c_str(), engine, &signatures, CL_DB_STDOPT);
    if (loaded != CL_SUCCESS) {
      error = "cannot load " + database + ": " + cl_strerror(loaded);
      cl_engine_free(engine);
      return nullptr;
    }
  }
  const cl_error_t compiled = cl_engine_compile(engine);
  if (compiled != CL_SUCCESS) {
    error = std::string("cannot compile the signatures: ") + cl_strerror(compiled);
    cl_engine_free(engine);
    return nullptr;
  }
  if (limits.withDatabaseVersion && databaseVersion != DatabaseVersion(databases)) {
    SERVER_WARN(
        "the signature databases changed while they were loaded: this engine shares "
        "no cache entries");
    databaseVersion.clear();
  }
  return std::shared_ptr<const Engine>(
      new Engine(engine, signatures, gNextGeneration++, std::move(databaseVersion)));
}

Engine::~Engine() {
  cl_engine_free(engine_);
}

EngineResult Engine::Scan(FileSource& source, uint64_t size, const std::string& name) const {
  EngineResult result;
  TrackedSource tracked{source};
  cl_fmap_t* map = cl_fmap_open_handle(&tracked, 0, static_cast<size_t>(size), &ReadThroughSource,
                                       /*use_aging=*/0);
  if (map == nullptr) {
    result.error = "cannot map the file";
    return result;
  }
  cl_scan_options options{};
  options.general = CL_SCAN_GENERAL_HEURISTICS;
  options.parse = ~0u;
  options.heuristic = CL_SCAN_HEURISTIC_EXCEEDS_MAX;
  const char* threat = nullptr;
  unsigned long scanned = 0;
  const cl_error_t scan =
      cl_scanmap_callback(map, name.c_str(), &threat, &scanned, engine_, &options, nullptr);
  cl_fmap_close(map);
  if (tracked.failed && scan != CL_VIRUS) {
    result.error = "the file's bytes could not all be read";
    return result;
  }
  if (scan == CL_VIRUS) {
    // A file above the engine's size limit comes back as a detection without a name.
    result.threat = threat != nullptr ? threat : "";
    const bool limits = threat == nullptr || result.threat.starts_with(kLimitsExceeded);
    result.kind = limits ? EngineResult::Kind::LimitsExceeded : EngineResult::Kind::Infected;
  } else if (scan == CL_CLEAN) {
    result.kind = EngineResult::Kind::Clean;
  } else {
    result.error = cl_strerror(scan);
  }
  return result;
}

}  // namespace sondrel::server
