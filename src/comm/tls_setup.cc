#include "comm/tls_setup.h"

#include <algorithm>

#include "logging/log.h"

namespace sondrel {
namespace {

std::string ServerName(const CommServerEntry& server) {
  return server.address + ":" + server.port;
}

// What of a server entry the TLS configuration depends on.
bool SameTlsServers(const std::vector<CommServerEntry>& a, const std::vector<CommServerEntry>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return x.address == y.address && x.port == y.port && x.useSSL == y.useSSL &&
           x.tlsPin == y.tlsPin;
  });
}

}  // namespace

TlsSetup::TlsSetup(std::string_view loggerCategory)
    : logger_(GetLogger(loggerCategory)),
      unverified_(std::make_shared<TlsContext>()),
      context_(unverified_) {}

void TlsSetup::Update(const TlsSettings& settings, const std::vector<CommServerEntry>& servers) {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool settingsChanged = !settings_ || *settings_ != settings;
  if (!settingsChanged && SameTlsServers(servers_, servers)) {
    return;
  }
  if (settingsChanged) {
    Rebuild(settings);
  }
  servers_ = servers;
  Report(servers);
}

void TlsSetup::Rebuild(const TlsSettings& settings) {
  settings_ = settings;
  contextProblem_.clear();
  if (!settings.Configured()) {
    context_ = unverified_;
    return;
  }
  context_ = std::make_shared<TlsContext>();
  std::vector<std::string> problems;
  if (!context_->Load(settings, problems)) {
    for (const std::string& problem : problems) {
      LOG_ERROR(logger_, "TLS: " << problem << "; no TLS session is made until it is mended");
    }
    contextProblem_ = problems.front();
  }
}

void TlsSetup::Report(const std::vector<CommServerEntry>& servers) {
  const TlsSettings& settings = *settings_;
  std::string globalProblem;
  if (!PinsFor(CommServerEntry{}, globalProblem)) {
    LOG_ERROR(logger_, "TLS: cannot use tlspin: "
                           << globalProblem
                           << "; no TLS session to a server without a pin of its own is made");
  }
  for (const CommServerEntry& server : servers) {
    std::string problem;
    if (server.useSSL == 0) {
      if (settings.Verifies()) {
        LOG_WARN(logger_, "TLS: server " << ServerName(server)
                                         << " is not reached over TLS: its identity is not "
                                            "verified");
      }
    } else if (!server.tlsPin.empty() && !PinsFor(server, problem)) {
      LOG_ERROR(logger_, "TLS: cannot use the tlspin of server "
                             << ServerName(server) << ": " << problem
                             << "; no TLS session to it is made");
    }
  }
  if (settings.Verifies() && contextProblem_.empty()) {
    LOG_INFO(logger_, "TLS: servers are verified: tlscafile \""
                          << settings.caFile << "\", tlscapath \"" << settings.caPath
                          << "\", tlsverifyhost " << settings.verifyHost << ", tlspin "
                          << (settings.pin.empty() ? "not set" : "set"));
  }
}

std::optional<std::vector<SpkiDigest>> TlsSetup::PinsFor(const CommServerEntry& server,
                                                         std::string& error) const {
  return ParsePins(server.tlsPin.empty() ? settings_->pin : server.tlsPin, error);
}

std::shared_ptr<const SessionTls> TlsSetup::ForServer(const CommServerEntry& server) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto tls = std::make_shared<SessionTls>();
  tls->context = context_;
  if (!settings_) {
    return tls;
  }
  if (!contextProblem_.empty()) {
    tls->unusable = contextProblem_;
    return tls;
  }
  std::string error;
  std::optional<std::vector<SpkiDigest>> pins = PinsFor(server, error);
  if (!pins) {
    tls->unusable =
        (server.tlsPin.empty() ? "tlspin cannot be used: " : "its tlspin cannot be used: ") + error;
    return tls;
  }
  tls->check.chain = !settings_->caFile.empty() || !settings_->caPath.empty();
  tls->check.hostName = tls->check.chain && settings_->verifyHost;
  tls->check.pins = std::move(*pins);
  return tls;
}

}  // namespace sondrel
