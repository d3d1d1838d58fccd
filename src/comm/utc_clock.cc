#include "comm/utc_clock.h"

#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>

namespace sondrel {

uint64_t UtcMicrosecondsSince1400() {
  return MicrosecondsSince1400(boost::posix_time::microsec_clock::universal_time());
}

uint64_t MicrosecondsSince1400(const boost::posix_time::ptime& utc) {
  static const boost::posix_time::ptime epoch(boost::gregorian::date(1400, 1, 1));
  return static_cast<uint64_t>((utc - epoch).total_microseconds());
}

}  // namespace sondrel
