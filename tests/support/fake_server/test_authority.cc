#include "support/fake_server/test_authority.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/sha.h>
#include <openssl/x509v3.h>

#include <fstream>

namespace sondrel::test {
namespace {

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};

std::string PemOf(int (*write)(BIO*, void*), void* object) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
  if (bio == nullptr || write(bio.get(), object) != 1) {
    return "";
  }
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(length));
}

std::string CertificateText(X509* certificate) {
  return PemOf([](BIO* bio, void* x) { return PEM_write_bio_X509(bio, static_cast<X509*>(x)); },
               certificate);
}

std::string KeyText(EVP_PKEY* key) {
  return PemOf(
      [](BIO* bio, void* k) {
        return PEM_write_bio_PrivateKey(bio, static_cast<EVP_PKEY*>(k), nullptr, nullptr, 0,
                                        nullptr, nullptr);
      },
      key);
}

bool AddExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
  if (extension == nullptr) {
    return false;
  }
  const bool added = X509_add_ext(certificate, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

// A certificate for `key` named `commonName`, its issuer's name and extensions still to come.
X509* NewCertificate(EVP_PKEY* key, const std::string& commonName) {
  X509* certificate = X509_new();
  unsigned char serial[8];
  if (certificate == nullptr || RAND_bytes(serial, sizeof(serial)) != 1) {
    X509_free(certificate);
    return nullptr;
  }
  serial[0] &= 0x7F;
  BIGNUM* number = BN_bin2bn(serial, sizeof(serial), nullptr);
  const bool built =
      number != nullptr && X509_set_version(certificate, 2) == 1 &&
      BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate)) != nullptr &&
      X509_gmtime_adj(X509_getm_notBefore(certificate), -60) != nullptr &&
      X509_gmtime_adj(X509_getm_notAfter(certificate), 24 * 60 * 60) != nullptr &&
      X509_NAME_add_entry_by_txt(X509_get_subject_name(certificate), "CN", MBSTRING_UTF8,
                                 reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                                 0) == 1 &&
      X509_set_pubkey(certificate, key) == 1;
  BN_free(number);
  if (!built) {
    X509_free(certificate);
    return nullptr;
  }
  return certificate;
}

}  // namespace

TestAuthority::TestAuthority(const std::string& commonName) {
  key_ = EVP_EC_gen("P-256");
  X509* certificate = key_ != nullptr ? NewCertificate(key_, commonName) : nullptr;
  if (certificate == nullptr) {
    return;
  }
  if (X509_set_issuer_name(certificate, X509_get_subject_name(certificate)) == 1 &&
      AddExtension(certificate, certificate, NID_basic_constraints, "critical,CA:TRUE") &&
      AddExtension(certificate, certificate, NID_key_usage, "critical,keyCertSign,cRLSign") &&
      AddExtension(certificate, certificate, NID_subject_key_identifier, "hash") &&
      X509_sign(certificate, key_, EVP_sha256()) > 0) {
    certificate_ = certificate;
  } else {
    X509_free(certificate);
  }
}

TestAuthority::~TestAuthority() {
  X509_free(certificate_);
  EVP_PKEY_free(key_);
}

std::string TestAuthority::CertificatePem() const {
  return certificate_ != nullptr ? CertificateText(certificate_) : "";
}

std::optional<IssuedCertificate> TestAuthority::Issue(const std::string& commonName,
                                                      const std::vector<std::string>& dnsNames,
                                                      const std::vector<std::string>& ipAddresses,
                                                      bool client) const {
  if (certificate_ == nullptr) {
    return std::nullopt;
  }
  std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  std::unique_ptr<X509, void (*)(X509*)> certificate(
      key != nullptr ? NewCertificate(key.get(), commonName) : nullptr, X509_free);
  if (certificate == nullptr) {
    return std::nullopt;
  }
  std::string names;
  for (const std::string& name : dnsNames) {
    names += (names.empty() ? "DNS:" : ",DNS:") + name;
  }
  for (const std::string& address : ipAddresses) {
    names += (names.empty() ? "IP:" : ",IP:") + address;
  }
  X509* cert = certificate.get();
  const bool built =
      X509_set_issuer_name(cert, X509_get_subject_name(certificate_)) == 1 &&
      AddExtension(cert, certificate_, NID_basic_constraints, "critical,CA:FALSE") &&
      AddExtension(cert, certificate_, NID_key_usage, "critical,digitalSignature") &&
      AddExtension(cert, certificate_, NID_ext_key_usage, client ? "clientAuth" : "serverAuth") &&
      AddExtension(cert, certificate_, NID_authority_key_identifier, "keyid") &&
      (names.empty() || AddExtension(cert, certificate_, NID_subject_alt_name, names)) &&
      X509_sign(cert, key_, EVP_sha256()) > 0;
  if (!built) {
    return std::nullopt;
  }
  return IssuedCertificate{CertificateText(cert), KeyText(key.get()), PublicKeySha256(cert)};
}

std::string PublicKeySha256(X509* certificate) {
  unsigned char* der = nullptr;
  const int length = i2d_PUBKEY(X509_get0_pubkey(certificate), &der);
  if (length <= 0) {
    return "";
  }
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(der, static_cast<size_t>(length), digest);
  OPENSSL_free(der);
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const unsigned char byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

bool WriteTextFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  return static_cast<bool>(file.flush());
}

}  // namespace sondrel::test
