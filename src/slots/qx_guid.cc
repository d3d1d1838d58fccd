#include "slots/qx_guid.h"

#include <algorithm>
#include <boost/random/mersenne_twister.hpp>
#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid.hpp>
#include <cstddef>

namespace sondrel {

QxGuid QxGuid::NewRandom() {
  boost::uuids::basic_random_generator<boost::random::mt19937> generator;
  const boost::uuids::uuid uuid = generator();
  ServerIdentity bytes;
  std::copy(uuid.begin(), uuid.end(), bytes.begin());
  return FromBytes(bytes);
}

QxGuid QxGuid::FromBytes(const ServerIdentity& bytes) {
  QxGuid guid;
  for (size_t i = 0; i < bytes.size(); ++i) {
    // bytes[0] is the most significant byte, so it lands in the top of words[3].
    const size_t fromLeast = bytes.size() - 1 - i;
    guid.words[fromLeast / 4] |= static_cast<uint32_t>(bytes[i]) << (8 * (fromLeast % 4));
  }
  return guid;
}

ServerIdentity QxGuid::ToBytes() const {
  ServerIdentity bytes;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const size_t fromLeast = bytes.size() - 1 - i;
    bytes[i] = static_cast<uint8_t>(words[fromLeast / 4] >> (8 * (fromLeast % 4)));
  }
  return bytes;
}

std::string QxGuid::ToString() const {
  return FormatServerIdentity(ToBytes());
}

std::ostream& operator<<(std::ostream& stream, const QxGuid& guid) {
  return stream << guid.ToString();
}

}  // namespace sondrel
