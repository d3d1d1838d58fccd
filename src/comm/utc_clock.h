// The clock of the hello and ping timestamps: microseconds from 1400-01-01 00:00:00 UTC. The
// server echoes a timestamp unchanged, so only differences of the client's own readings matter.
#pragma once

#include <boost/date_time/posix_time/ptime.hpp>
#include <cstdint>

namespace sondrel {

uint64_t UtcMicrosecondsSince1400();
// The same count for a given UTC time (not before the epoch).
uint64_t MicrosecondsSince1400(const boost::posix_time::ptime& utc);

}  // namespace sondrel
