// One configured scan server.
#pragma once

#include <cstdint>

#include "qx/string_t.h"

namespace sondrel {

struct ServerSettings {
  qx::StringT address;  // host name or address
  int32_t port = 7081;  // 7081 is the plain port, 7083 the TLS port
  bool useSSL = false;
  int32_t priority = 1;
  bool enforced = false;
  qx::StringT nodeid;  // identity handed to the connection manager; files never set it
  qx::StringT tlsPin;  // SHA-256 of the server's public key; empty: the settings' tlsPin

  friend bool operator==(const ServerSettings&, const ServerSettings&) = default;
};

}  // namespace sondrel
