#include "server/server_log.h"

#include <atomic>
#include <cstdio>
#include <iomanip>
#include <mutex>

namespace sondrel::server {
namespace {

std::atomic<LogLevel> gLevel{LogLevel::Info};
std::mutex gLogMutex;

const char* LevelName(LogLevel level) {
  switch (level) {
    case LogLevel::Error:
      return "ERROR";
    case LogLevel::Warn:
      return "WARN";
    case LogLevel::Info:
      return "INFO";
    case LogLevel::Debug:
      return "DEBUG";
  }
  return "?";
}

// The name with quotes, backslashes and control bytes escaped, so that a line stays one line.
std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02x", byte);
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

}  // namespace

void SetLogLevel(LogLevel level) {
  gLevel.store(level);
}

bool LogEnabled(LogLevel level) {
  return static_cast<int>(level) <= static_cast<int>(gLevel.load());
}

void WriteLogLine(LogLevel level, std::string_view text) {
  std::string line = LevelName(level);
  line += ' ';
  line += text;
  line += '\n';
  std::lock_guard<std::mutex> lock(gLogMutex);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

std::string FormatScanRecord(const ScanRecord& record) {
  std::ostringstream line;
  line << "scan client=" << record.client << " name=" << Quoted(record.name)
       << " size=" << record.size << " pulled=" << record.pulled << " reads=" << record.reads
       << " outcome=" << record.outcome
       << " threat=" << (record.threat.empty() ? "-" : Quoted(record.threat))
       << " status=" << record.finalStatus << " ms=" << std::fixed << std::setprecision(1)
       << record.milliseconds;
  return line.str();
}

}  // namespace sondrel::server
