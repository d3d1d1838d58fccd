// The server's log: one line per event on standard error, "LEVEL text", written whole under a
// lock so that lines of different threads never mix. The scan log line is the one line every
// finished request leaves at level info.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "server/server_options.h"

namespace sondrel::server {

void SetLogLevel(LogLevel level);
bool LogEnabled(LogLevel level);
void WriteLogLine(LogLevel level, std::string_view text);

#define SERVER_LOG(level, stream_expression)                         \
  do {                                                               \
    if (::sondrel::server::LogEnabled(level)) {                      \
      std::ostringstream server_log_line;                            \
      server_log_line << stream_expression;                          \
      ::sondrel::server::WriteLogLine(level, server_log_line.str()); \
    }                                                                \
  } while (false)

#define SERVER_ERROR(e) SERVER_LOG(::sondrel::server::LogLevel::Error, e)
#define SERVER_WARN(e) SERVER_LOG(::sondrel::server::LogLevel::Warn, e)
#define SERVER_INFO(e) SERVER_LOG(::sondrel::server::LogLevel::Info, e)
#define SERVER_DEBUG(e) SERVER_LOG(::sondrel::server::LogLevel::Debug, e)

// What one request came to, for the scan log line and the metrics.
struct ScanRecord {
  std::string client;  // ADDRESS:PORT of the connection
  std::string name;    // the name as sent
  uint64_t size = 0;
  uint64_t pulled = 0;  // file bytes received in answers to read requests
  uint32_t reads = 0;   // read requests sent
  std::string outcome;  // clean, infected, cache-hit, or what went wrong
  std::string threat;
  int32_t finalStatus = 0;
  double milliseconds = 0;
};

// scan client=127.0.0.1:40000 name="eicar.com" size=68 pulled=68 reads=1 outcome=infected
// threat=Sondrel.Test.EICAR status=0 ms=1.2
std::string FormatScanRecord(const ScanRecord& record);

}  // namespace sondrel::server
