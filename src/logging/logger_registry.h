// The process-wide registry of loggers, one per category, kept until the process exits.
#pragma once

#include <string_view>

#include "logging/logger.h"

namespace sondrel {

// The logger of a category, created (with the current logging environment) on first use. Two
// calls with the same category return the same logger.
LoggerPtr GetLogger(std::string_view category);

}  // namespace sondrel
