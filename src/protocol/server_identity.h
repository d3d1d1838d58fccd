// A server's running identity: 16 bytes, most significant first, as the server sends them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace sondrel {

using ServerIdentity = std::array<uint8_t, 16>;

// The text form "%08llx-%04llx-%04llx-%04llx-%012llx": the 16 bytes in order, in lower-case hex.
std::string FormatServerIdentity(const ServerIdentity& identity);

}  // namespace sondrel
