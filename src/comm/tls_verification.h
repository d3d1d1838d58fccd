// How a TLS session checks its server's certificate when the settings ask for it: the chain must
// lead to an authority of the context (and, if asked, name the server's address), and the public
// key must be one of the pins. The checks run inside the handshake, so that a certificate that
// fails them fails the handshake, and the first failure is kept with what it was about.
//
// A session without checks keeps OpenSSL's own chain verification with SSL_VERIFY_NONE: problems
// are logged by the socket's certificate callback and never fail the handshake.
#pragma once

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "comm/tls_pins.h"

namespace sondrel {

struct TlsCheck {
  bool chain = false;            // the chain must lead to an authority of the context
  bool hostName = false;         // the certificate must name the server's address (with chain only)
  std::vector<SpkiDigest> pins;  // the server's public key must be one of these; empty: any

  bool Verifies() const { return chain || !pins.empty(); }
  // "the chain and the host name", "the pin", ...: what a verified server passed.
  std::string Describe() const;
};

// One session's checks during one handshake, and the first failure they met. Used on the thread
// that runs the handshake only.
struct TlsVerifyState {
  TlsCheck check;
  std::string host;
  // Empty until a check fails: "certificate chain: ...", "host name: ..." or "pin: ...".
  std::string failure;
};

// Installed on contexts that may serve verifying sessions: runs a session's checks in place of
// OpenSSL's chain verification, and that verification alone for sessions without checks.
int VerifyServerCertificate(X509_STORE_CTX* store, void* unused);
// Prepares a new TLS stream's connection for `state`'s checks: peer verification on, the host
// name to match, the server name sent (for a host name), and `state` reachable from the
// handshake. `state` must outlive the handshake.
void ArmTlsVerification(SSL* ssl, TlsVerifyState& state);
// The certificate callback of a verifying session: keeps the first failure OpenSSL reports and
// returns its verdict unchanged.
bool RecordCertificateCheck(TlsVerifyState& state, bool preverified, X509_STORE_CTX* store);

}  // namespace sondrel
