#include "comm/tls_context.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <system_error>

#include "comm/tls_verification.h"

namespace sondrel {
namespace {

// The reason OpenSSL gave for the last failure, and an empty error queue.
std::string OpenSslReason() {
  const unsigned long code = ERR_peek_last_error();
  std::string reason = "not a usable PEM file";
  if (code != 0) {
    const char* text = ERR_reason_error_string(code);
    if (text != nullptr) {
      reason = text;
    }
  }
  ERR_clear_error();
  return reason;
}

// Why a file cannot be read at all, or nothing.
std::optional<std::string> UnreadableFile(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) {
    return "it does not exist";
  }
  if (std::filesystem::is_directory(status)) {
    return "it is a directory";
  }
  if (!std::ifstream(path, std::ios::binary)) {
    return "it cannot be read";
  }
  return std::nullopt;
}

// A name `openssl rehash` gives a certificate: 8 hex digits, a dot and a number.
bool IsHashedName(const std::string& name) {
  const auto isHex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  return name.size() > 9 && std::all_of(name.begin(), name.begin() + 8, isHex) && name[8] == '.' &&
         std::all_of(name.begin() + 9, name.end(), isDigit);
}

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};

}  // namespace

TlsContext::TlsContext() : context_(boost::asio::ssl::context::tls_client) {
  // Straight to OpenSSL: Boost's option type is a long, too narrow on 32-bit builds for the
  // 64-bit option bits of OpenSSL 3.
  SSL_CTX_set_options(context_.native_handle(), SSL_OP_ALL | SSL_OP_NO_SSLv2);
  SSL_CTX_set_mode(context_.native_handle(), SSL_MODE_AUTO_RETRY);
  context_.set_password_callback([](std::size_t, boost::asio::ssl::context::password_purpose) {
    return std::string(kPassPhrase);
  });
}

bool TlsContext::Load(const TlsSettings& settings, std::vector<std::string>& problems) {
  const size_t before = problems.size();
  ERR_clear_error();
  if (!settings.caFile.empty()) {
    LoadAuthorityFile(settings.caFile, problems);
  }
  if (!settings.caPath.empty()) {
    CheckAuthorityDirectory(settings.caPath, problems);
  }
  if (!settings.clientCert.empty()) {
    LoadClientIdentity(settings.clientCert,
                       settings.clientKey.empty() ? settings.clientCert : settings.clientKey,
                       problems);
  } else if (!settings.clientKey.empty()) {
    problems.push_back("the client key " + settings.clientKey +
                       " is given without a client certificate (tlsclientcert)");
  }
  SSL_CTX_set_cert_verify_callback(context_.native_handle(), &VerifyServerCertificate, nullptr);
  return problems.size() == before;
}

void TlsContext::LoadAuthorityFile(const std::string& path, std::vector<std::string>& problems) {
  if (const auto unreadable = UnreadableFile(path)) {
    problems.push_back("cannot use the CA file " + path + ": " + *unreadable);
    return;
  }
  if (SSL_CTX_load_verify_file(context_.native_handle(), path.c_str()) != 1) {
    problems.push_back("cannot use the CA file " + path + ": " + OpenSslReason());
  }
}

void TlsContext::CheckAuthorityDirectory(const std::string& path,
                                         std::vector<std::string>& problems) {
  std::error_code error;
  if (!std::filesystem::is_directory(path, error)) {
    problems.push_back("cannot use the CA directory " + path + ": it is not a directory");
    return;
  }
  // OpenSSL looks certificates up by the hash of their subject, under the names `openssl rehash`
  // gives them.
  bool hashed = false;
  for (std::filesystem::directory_iterator entry(path, error), end; !error && entry != end;
       entry.increment(error)) {
    hashed = hashed || IsHashedName(entry->path().filename().string());
  }
  if (error) {
    problems.push_back("cannot use the CA directory " + path + ": it cannot be read");
  } else if (!hashed) {
    problems.push_back("cannot use the CA directory " + path +
                       ": it holds no certificate under a name `openssl rehash` makes");
  } else if (SSL_CTX_load_verify_dir(context_.native_handle(), path.c_str()) != 1) {
    problems.push_back("cannot use the CA directory " + path + ": " + OpenSslReason());
  }
}

void TlsContext::LoadClientIdentity(const std::string& certificate, const std::string& key,
                                    std::vector<std::string>& problems) {
  SSL_CTX* context = context_.native_handle();
  if (const auto unreadable = UnreadableFile(certificate)) {
    problems.push_back("cannot use the client certificate " + certificate + ": " + *unreadable);
    return;
  }
  if (SSL_CTX_use_certificate_chain_file(context, certificate.c_str()) != 1) {
    problems.push_back("cannot use the client certificate " + certificate + ": " + OpenSslReason());
    return;
  }
  if (const auto unreadable = UnreadableFile(key)) {
    problems.push_back("cannot use the client key " + key + ": " + *unreadable);
    return;
  }
  const std::unique_ptr<BIO, BioFree> file(BIO_new_file(key.c_str(), "r"));
  const std::unique_ptr<EVP_PKEY, KeyFree> privateKey(
      file == nullptr
          ? nullptr
          : PEM_read_bio_PrivateKey(file.get(), nullptr, SSL_CTX_get_default_passwd_cb(context),
                                    SSL_CTX_get_default_passwd_cb_userdata(context)));
  if (privateKey == nullptr) {
    problems.push_back("cannot use the client key " + key + ": " + OpenSslReason());
    return;
  }
  if (X509_check_private_key(SSL_CTX_get0_certificate(context), privateKey.get()) != 1) {
    ERR_clear_error();
    problems.push_back("the client key " + key + " does not belong to the client certificate " +
                       certificate);
    return;
  }
  if (SSL_CTX_use_PrivateKey(context, privateKey.get()) != 1) {
    problems.push_back("cannot use the client key " + key + ": " + OpenSslReason());
  }
}

}  // namespace sondrel
