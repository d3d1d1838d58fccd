#include "protocol/server_identity.h"

#include <cstdio>

namespace sondrel {
namespace {

// The bytes from `first` up to `first` + `count` as one number, the first byte the most
// significant.
unsigned long long BigEndianValue(const ServerIdentity& identity, size_t first, size_t count) {
  unsigned long long value = 0;
  for (size_t i = first; i < first + count; ++i) {
    value = value << 8 | identity[i];
  }
  return value;
}

}  // namespace

std::string FormatServerIdentity(const ServerIdentity& identity) {
  char text[37];
  std::snprintf(text, sizeof(text), "%08llx-%04llx-%04llx-%04llx-%012llx",
                BigEndianValue(identity, 0, 4), BigEndianValue(identity, 4, 2),
                BigEndianValue(identity, 6, 2), BigEndianValue(identity, 8, 2),
                BigEndianValue(identity, 10, 6));
  return text;
}

}  // namespace sondrel
