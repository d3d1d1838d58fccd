// The category-based logger configuration ("pellan-logger-srv.xml" / "pellan-logger-cl.xml"):
// reload settings, category rules, appenders.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "logging/logger_settings.h"

namespace sondrel {

// Fills settings from the file for settings.category. Returns true only when a rule, its
// appender-ref, the appender and its file param were all found; values read before a failure
// (such as the reload settings) stay in the record.
bool ReadCategoryConfig(const std::wstring& path, uint32_t processId, LoggerSettings& settings);

// The file param's value used as a format with the process id as its one integer argument.
// Integer conversions ("%d", "%5u", ...) receive the id and "%%" gives "%"; any other conversion
// is kept as written, so a hostile format can never read arguments that do not exist.
std::string FormatWithProcessId(std::string_view format, uint32_t processId);

}  // namespace sondrel
