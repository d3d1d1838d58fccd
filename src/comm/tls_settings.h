// What the client's settings ask of TLS sessions beyond encryption: the authorities a server's
// chain must lead to, whether its certificate must name the server, the pins of the servers'
// public keys, and the certificate the client shows servers that ask for one. Paths and texts
// are UTF-8; all empty asks for nothing, and TLS sessions then verify nothing.
#pragma once

#include <string>

namespace sondrel {

struct TlsSettings {
  std::string caFile;
  std::string caPath;
  bool verifyHost = true;  // with an authority only
  std::string pin;         // for the servers without a pin of their own
  std::string clientCert;
  std::string clientKey;  // empty: the key is in the certificate's file

  // An authority or a pin is given: TLS sessions are verified.
  bool Verifies() const { return !caFile.empty() || !caPath.empty() || !pin.empty(); }
  // Anything at all is given (a client certificate alone verifies nothing).
  bool Configured() const { return Verifies() || !clientCert.empty() || !clientKey.empty(); }

  friend bool operator==(const TlsSettings&, const TlsSettings&) = default;
};

}  // namespace sondrel
