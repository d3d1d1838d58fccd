// The TLS client context shared by every session of one comm client: the general TLS client
// method with the usual workarounds, automatic retry, and a fixed pass phrase. No certificate,
// key or trusted authority is loaded; sessions do not verify the server (they only log
// certificate problems).
#pragma once

#include <boost/asio/ssl/context.hpp>
#include <string_view>

namespace sondrel {

class TlsContext {
 public:
  // The text the pass-phrase callback returns, whatever it is asked.
  static constexpr std::string_view kPassPhrase = "{6A1F0B3E-2D4C-4E8A-9B71-C05D3F2E8A19}";

  TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  boost::asio::ssl::context& context() { return context_; }

 private:
  boost::asio::ssl::context context_;
};

}  // namespace sondrel
