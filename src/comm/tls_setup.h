// The comm client's TLS configuration: the context made from the TLS options in effect, remade
// when they change, and what each TLS session takes from it (session_tls.h). Everything that
// cannot be used (a file, a pin) is logged once when the options or the server list change
// (first at Start), with the file or the server named; the sessions that need it are then not
// made.
//
// Update and ForServer may be called from any thread.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "comm/session_tls.h"
#include "comm/tls_settings.h"
#include "config/comm_server_entry.h"
#include "logging/logger.h"

namespace sondrel {

class TlsSetup {
 public:
  explicit TlsSetup(std::string_view loggerCategory);

  void Update(const TlsSettings& settings, const std::vector<CommServerEntry>& servers);
  // The context and checks of a TLS session to `server` under the settings of the last Update.
  std::shared_ptr<const SessionTls> ForServer(const CommServerEntry& server);

 private:
  void Rebuild(const TlsSettings& settings);
  void Report(const std::vector<CommServerEntry>& servers);
  // The pins that apply to `server` (its own, else the settings'), or nothing with the reason in
  // `error`.
  std::optional<std::vector<SpkiDigest>> PinsFor(const CommServerEntry& server,
                                                 std::string& error) const;

  LoggerPtr logger_;
  std::mutex mutex_;
  // Made at construction: the context of a client whose settings ask for nothing.
  const std::shared_ptr<TlsContext> unverified_;
  std::optional<TlsSettings> settings_;
  std::vector<CommServerEntry> servers_;
  std::shared_ptr<TlsContext> context_;
  // Not empty: the context's files cannot all be used.
  std::string contextProblem_;
};

}  // namespace sondrel
