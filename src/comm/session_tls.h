// What one TLS session to one server uses: the comm client's context for the settings in effect,
// the checks its server's certificate must pass, or why the session must not be made at all.
#pragma once

#include <memory>
#include <string>

#include "comm/tls_context.h"
#include "comm/tls_verification.h"

namespace sondrel {

struct SessionTls {
  std::shared_ptr<TlsContext> context;  // never null
  TlsCheck check;
  // Not empty: a file or a pin that the session needs cannot be used, and the session does not
  // connect (it never falls back to a connection without the checks).
  std::string unusable;
};

}  // namespace sondrel
