// Builds a logger's settings from the configuration files, in their lookup order.
#pragma once

#include <string>

#include "logging/logger_settings.h"
#include "logging/logging_environment.h"

namespace sondrel {

// The category-based format first, then the flat format, then the built-in defaults. Never fails:
// the record always ends loaded with usable values, and the log file's directory exists unless
// the logger is switched off.
LoggerSettings BuildLoggerSettings(const std::string& category,
                                   const LoggingEnvironment& environment);

// Creates a directory and its missing parents; an existing directory counts as success.
bool EnsureDirectory(const std::wstring& path);

}  // namespace sondrel
