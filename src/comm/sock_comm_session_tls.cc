// What a TLS session verifies of its server: the checks that its TLS settings give it, armed on
// every new TLS stream, and the log lines that tell whether the server was verified, why it was
// refused, or that the session does not connect because its settings cannot be used.
#include <utility>

#include "comm/sock_comm_session.h"
#include "logging/log.h"

namespace sondrel {

void SockCommSession::SetTls(std::shared_ptr<const SessionTls> tls) {
  {
    std::lock_guard<std::mutex> lock(sessionTlsMutex_);
    sessionTls_ = tls;
  }
  attach_tls(tls != nullptr, tls != nullptr ? &tls->context->context() : nullptr);
}

std::shared_ptr<const SessionTls> SockCommSession::sessionTls() const {
  std::lock_guard<std::mutex> lock(sessionTlsMutex_);
  return sessionTls_;
}

bool SockCommSession::tls_usable() {
  const auto tls = sessionTls();
  if (!useTls() || tls == nullptr || tls->unusable.empty()) {
    return true;
  }
  LOG_ERROR(logger(), address() << " TLS: not connecting to " << GetHost() << ":" << GetPort()
                                << ": " << tls->unusable);
  return false;
}

void SockCommSession::arm_tls_checks() {
  tlsVerified_.store(false);
  const auto tls = sessionTls();
  verifyState_.failure.clear();
  if (tlsStream() == nullptr || tls == nullptr || !tls->check.Verifies()) {
    return;
  }
  verifyState_.check = tls->check;
  verifyState_.host = GetHost();
  tlsStream()->set_verify_callback(
      [this](bool preverified, boost::asio::ssl::verify_context& context) {
        return RecordCertificateCheck(verifyState_, preverified, context.native_handle());
      });
  ArmTlsVerification(tlsStream()->native_handle(), verifyState_);
}

void SockCommSession::note_handshake(bool succeeded) {
  const auto tls = sessionTls();
  const bool verifies = tls != nullptr && tls->check.Verifies();
  if (!succeeded) {
    if (verifies && !verifyState_.failure.empty()) {
      LOG_ERROR(logger(), address() << " TLS: verification of server " << GetHost() << ":"
                                    << GetPort() << " failed: " << verifyState_.failure);
    }
    return;
  }
  if (verifies) {
    tlsVerified_.store(true);
    LOG_INFO(logger(), address() << " TLS: server " << GetHost() << ":" << GetPort()
                                 << " verified: " << tls->check.Describe());
  } else if (!unverifiedLogged_.exchange(true)) {
    LOG_WARN(logger(), address() << " TLS: the identity of server " << GetHost() << ":" << GetPort()
                                 << " is not verified (no tlscafile, tlscapath or tlspin)");
  }
}

}  // namespace sondrel
