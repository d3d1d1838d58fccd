#include "comm/tls_verification.h"

#include <openssl/x509v3.h>

#include <algorithm>
#include <array>
#include <boost/asio/ip/address.hpp>
#include <boost/system/error_code.hpp>

namespace sondrel {
namespace {

// Where a connection keeps its TlsVerifyState.
int StateIndex() {
  static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

TlsVerifyState* StateOf(X509_STORE_CTX* store) {
  auto* ssl =
      static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  return ssl == nullptr ? nullptr
                        : static_cast<TlsVerifyState*>(SSL_get_ex_data(ssl, StateIndex()));
}

bool IsAddress(const std::string& host) {
  boost::system::error_code error;
  boost::asio::ip::make_address(host, error);
  return !error;
}

std::string SubjectOf(X509* certificate) {
  std::array<char, 256> subject{};
  if (certificate != nullptr) {
    X509_NAME_oneline(X509_get_subject_name(certificate), subject.data(),
                      static_cast<int>(subject.size()));
  }
  return subject.data();
}

}  // namespace

std::string TlsCheck::Describe() const {
  std::string checks;
  if (chain) {
    checks = hostName ? "the certificate chain and the host name" : "the certificate chain";
  }
  if (!pins.empty()) {
    checks += checks.empty() ? "the pin" : " and the pin";
  }
  return checks;
}

int VerifyServerCertificate(X509_STORE_CTX* store, void* /*unused*/) {
  TlsVerifyState* state = StateOf(store);
  if (state == nullptr) {
    return X509_verify_cert(store);
  }
  if (state->check.chain && X509_verify_cert(store) <= 0) {
    if (state->failure.empty()) {
      state->failure = std::string("certificate chain: ") +
                       X509_verify_cert_error_string(X509_STORE_CTX_get_error(store));
    }
    return 0;
  }
  if (!state->check.pins.empty()) {
    X509* leaf = X509_STORE_CTX_get0_cert(store);
    const std::optional<SpkiDigest> digest =
        leaf != nullptr ? SpkiDigestOf(leaf) : std::optional<SpkiDigest>();
    const auto& pins = state->check.pins;
    if (!digest || std::find(pins.begin(), pins.end(), *digest) == pins.end()) {
      state->failure = "pin: the public key of " + SubjectOf(leaf) + " has SHA-256 " +
                       (digest ? FormatDigest(*digest) : std::string("(none)")) +
                       ", which is not pinned";
      X509_STORE_CTX_set_error(store, X509_V_ERR_APPLICATION_VERIFICATION);
      return 0;
    }
  }
  return 1;
}

void ArmTlsVerification(SSL* ssl, TlsVerifyState& state) {
  state.failure.clear();
  SSL_set_ex_data(ssl, StateIndex(), &state);
  SSL_set_verify(ssl, SSL_VERIFY_PEER, SSL_get_verify_callback(ssl));
  const bool address = IsAddress(state.host);
  if (!address && !state.host.empty()) {
    SSL_set_tlsext_host_name(ssl, state.host.c_str());
  }
  if (state.check.chain && state.check.hostName) {
    X509_VERIFY_PARAM* parameters = SSL_get0_param(ssl);
    if (address) {
      X509_VERIFY_PARAM_set1_ip_asc(parameters, state.host.c_str());
    } else {
      X509_VERIFY_PARAM_set_hostflags(parameters, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
      X509_VERIFY_PARAM_set1_host(parameters, state.host.c_str(), state.host.size());
    }
  }
}

bool RecordCertificateCheck(TlsVerifyState& state, bool preverified, X509_STORE_CTX* store) {
  if (preverified || !state.failure.empty()) {
    return preverified;
  }
  const int error = X509_STORE_CTX_get_error(store);
  if (error == X509_V_ERR_HOSTNAME_MISMATCH || error == X509_V_ERR_IP_ADDRESS_MISMATCH) {
    state.failure = "host name: the certificate is not for " + state.host;
  } else {
    state.failure = std::string("certificate chain: ") + X509_verify_cert_error_string(error) +
                    " at depth " + std::to_string(X509_STORE_CTX_get_error_depth(store)) + " (" +
                    SubjectOf(X509_STORE_CTX_get_current_cert(store)) + ")";
  }
  return preverified;
}

}  // namespace sondrel
