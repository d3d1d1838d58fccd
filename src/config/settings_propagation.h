// Hands the live settings to the connection manager.
#pragma once

#include "config/option_sink.h"
#include "config/settings_store.h"

namespace sondrel {

// Takes a copy of the settings and sets, in this order: the server list, the region, then the
// numbers (booleans as 0/1 words) from the request time-out to the latency time-out, then the
// TLS verification options (44 to 49); then applies once.
void PropagateSettings(const SettingsStore& store, IOptionSink& sink);

}  // namespace sondrel
