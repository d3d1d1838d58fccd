// A throw-away server identity for TLS tests, made with the OpenSSL API at test time.
#pragma once

#include <boost/asio/ssl/context.hpp>
#include <string>

namespace sondrel::test {

// Generates a P-256 key and a self-signed certificate whose subject is CN=`commonName`, and
// installs both in `context`. Returns false when OpenSSL refuses any step.
bool UseSelfSignedCertificate(boost::asio::ssl::context& context, const std::string& commonName);

}  // namespace sondrel::test
