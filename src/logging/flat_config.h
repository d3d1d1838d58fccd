// The older flat logger configuration ("<exe name>.Logger.xml" or "Logger.xml"), with the product
// file "ServConfig.xml" that places relative log directories.
#pragma once

#include "logging/logger_settings.h"
#include "logging/logging_environment.h"

namespace sondrel {

// Fills settings from the first flat file that exists in the environment's directory. When there
// is none, or it lacks a required element, or a relative path cannot be placed, the record falls
// back to the default log file in the executable's directory.
void ApplyFlatConfig(const LoggingEnvironment& environment, LoggerSettings& settings);

}  // namespace sondrel
