#include "support/fake_server/self_signed_certificate.h"

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <memory>

namespace sondrel::test {
namespace {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
  void operator()(X509* certificate) const { X509_free(certificate); }
};

}  // namespace

bool UseSelfSignedCertificate(boost::asio::ssl::context& context, const std::string& commonName) {
  std::unique_ptr<EVP_PKEY, KeyFree> key(EVP_EC_gen("P-256"));
  std::unique_ptr<X509, CertificateFree> certificate(X509_new());
  if (key == nullptr || certificate == nullptr) {
    return false;
  }
  X509* cert = certificate.get();
  X509_NAME* subject = X509_get_subject_name(cert);
  const bool built =
      X509_set_version(cert, 2) == 1 && ASN1_INTEGER_set(X509_get_serialNumber(cert), 1) == 1 &&
      X509_gmtime_adj(X509_getm_notBefore(cert), -60) != nullptr &&
      X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 60 * 60) != nullptr &&
      X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                 reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                                 0) == 1 &&
      X509_set_issuer_name(cert, subject) == 1 && X509_set_pubkey(cert, key.get()) == 1 &&
      X509_sign(cert, key.get(), EVP_sha256()) > 0;
  return built && SSL_CTX_use_certificate(context.native_handle(), cert) == 1 &&
         SSL_CTX_use_PrivateKey(context.native_handle(), key.get()) == 1;
}

}  // namespace sondrel::test
