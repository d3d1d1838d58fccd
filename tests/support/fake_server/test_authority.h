// A certificate authority made for one test with the OpenSSL API: it issues server and client
// certificates (P-256 keys, valid for a day) whose PEM texts the test writes to files for the
// library and for sondrel-server. Written on its own, without the library's TLS code.
#pragma once

#include <openssl/x509.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sondrel::test {

struct IssuedCertificate {
  std::string certificatePem;
  std::string keyPem;
  // The SHA-256 of the certificate's DER SubjectPublicKeyInfo, 64 lower-case hex digits.
  std::string publicKeySha256;
};

class TestAuthority {
 public:
  explicit TestAuthority(const std::string& commonName);
  ~TestAuthority();
  TestAuthority(const TestAuthority&) = delete;
  TestAuthority& operator=(const TestAuthority&) = delete;

  bool ok() const { return certificate_ != nullptr; }
  std::string CertificatePem() const;
  // A certificate for `commonName` naming `dnsNames` and `ipAddresses` as subject alternative
  // names, for a server (serverAuth) or a client (clientAuth); nothing when OpenSSL refuses.
  std::optional<IssuedCertificate> Issue(const std::string& commonName,
                                         const std::vector<std::string>& dnsNames,
                                         const std::vector<std::string>& ipAddresses,
                                         bool client = false) const;

 private:
  EVP_PKEY* key_ = nullptr;
  X509* certificate_ = nullptr;
};

// The hex SHA-256 of a certificate's public key, as pins are written.
std::string PublicKeySha256(X509* certificate);
// Writes `text` to `path`; false when it cannot.
bool WriteTextFile(const std::filesystem::path& path, const std::string& text);

}  // namespace sondrel::test
