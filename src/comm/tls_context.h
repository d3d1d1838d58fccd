// The TLS client context shared by the sessions of one comm client: the general TLS client
// method with the usual workarounds, automatic retry, and a fixed pass phrase. As constructed, no
// certificate, key or trusted authority is loaded and sessions do not verify the server (they
// only log certificate problems). Load adds what the TLS settings name, for sessions that verify
// their server (tls_verification.h) or show a client certificate.
#pragma once

#include <boost/asio/ssl/context.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "comm/tls_settings.h"

namespace sondrel {

class TlsContext {
 public:
  // The text the pass-phrase callback returns, whatever it is asked.
  static constexpr std::string_view kPassPhrase = "{6A1F0B3E-2D4C-4E8A-9B71-C05D3F2E8A19}";

  TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  // Loads the authorities and the client certificate and key that `settings` names, and installs
  // the check of verifying sessions. Each file that is missing, unreadable, malformed or does not
  // match is described in `problems`, with its name; false when there is any.
  bool Load(const TlsSettings& settings, std::vector<std::string>& problems);

  boost::asio::ssl::context& context() { return context_; }

 private:
  void LoadAuthorityFile(const std::string& path, std::vector<std::string>& problems);
  void CheckAuthorityDirectory(const std::string& path, std::vector<std::string>& problems);
  void LoadClientIdentity(const std::string& certificate, const std::string& key,
                          std::vector<std::string>& problems);

  boost::asio::ssl::context context_;
};

}  // namespace sondrel
