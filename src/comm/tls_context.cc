#include "comm/tls_context.h"

#include <openssl/ssl.h>

#include <string>

namespace sondrel {

TlsContext::TlsContext() : context_(boost::asio::ssl::context::tls_client) {
  context_.set_options(SSL_OP_ALL | SSL_OP_NO_SSLv2);
  SSL_CTX_set_mode(context_.native_handle(), SSL_MODE_AUTO_RETRY);
  context_.set_password_callback([](std::size_t, boost::asio::ssl::context::password_purpose) {
    return std::string(kPassPhrase);
  });
}

}  // namespace sondrel
