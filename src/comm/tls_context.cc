#include "comm/tls_context.h"

#include <openssl/ssl.h>

#include <string>

namespace sondrel {

TlsContext::TlsContext() : context_(boost::asio::ssl::context::tls_client) {
  // Straight to OpenSSL: Boost's option type is a long, too narrow on 32-bit builds for the
  // 64-bit option bits of OpenSSL 3.
  SSL_CTX_set_options(context_.native_handle(), SSL_OP_ALL | SSL_OP_NO_SSLv2);
  SSL_CTX_set_mode(context_.native_handle(), SSL_MODE_AUTO_RETRY);
  context_.set_password_callback([](std::size_t, boost::asio::ssl::context::password_purpose) {
    return std::string(kPassPhrase);
  });
}

}  // namespace sondrel
