// Formatting of log lines and their output to the debugger channel and the rolling log file.
#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>
#include <string>
#include <string_view>

#include "logging/logger_settings.h"

namespace sondrel {

class Logger;

// "%-5s %s [%08x] [%-20.20s] - %s\n": level name, local time with microseconds (left out when
// zero), thread id, category cut or padded to 20 columns, message.
std::string FormatLogLine(std::string_view levelName, const boost::posix_time::ptime& time,
                          uint32_t threadId, std::string_view category, std::string_view text);

// Writes one line with the given settings snapshot. A log file that cannot be opened silences
// the logger; every other failure is ignored.
void WriteLine(std::string_view levelName, std::string_view text, Logger& logger,
               const LoggerSettings& snapshot);

// Moves the log file into the numbered backups: base.1 is the newest, at most MaxBackupIndex - 1
// backups remain (one when the index is 1 or less).
void RollOver(const LoggerSettings& snapshot);

}  // namespace sondrel
