// The 128-bit identifier of slots and of a server's running identity. The value is held as four
// 32-bit words, least significant first; in messages and in the comm layer's ServerIdentity its
// 16 bytes go most significant first, and the two forms convert into each other without loss.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>

#include "protocol/server_identity.h"

namespace sondrel {

struct QxGuid {
  // words[0] is the least significant word.
  std::array<uint32_t, 4> words = {};

  // The all-zero identifier: "any server" in a request, "no slot" in an answer.
  static constexpr QxGuid Null() { return {}; }
  // The running identity given to slots invented for servers without slot support.
  static constexpr QxGuid FakeServer() { return {{1, 0, 0, 0}}; }
  // A fresh random version-4 identifier, from a generator made (and seeded) for it alone.
  static QxGuid NewRandom();

  // From the byte form: 16 bytes, the first one the most significant.
  static QxGuid FromBytes(const ServerIdentity& bytes);
  ServerIdentity ToBytes() const;

  // "%08llx-%04llx-%04llx-%04llx-%012llx" over the value, most significant digits first.
  std::string ToString() const;

  bool IsNull() const { return *this == Null(); }

  friend bool operator==(const QxGuid&, const QxGuid&) = default;
};

std::ostream& operator<<(std::ostream& stream, const QxGuid& guid);

}  // namespace sondrel
