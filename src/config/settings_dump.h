// The settings dump: one INFO line per setting and per server field.
#pragma once

#include "config/settings.h"
#include "logging/logger.h"

namespace sondrel {

void DumpSettings(Logger& logger, const Settings& settings);

}  // namespace sondrel
