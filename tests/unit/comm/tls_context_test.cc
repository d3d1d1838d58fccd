#include "comm/tls_context.h"

#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <array>
#include <string>

namespace sondrel {
namespace {

TEST(TlsContextTest, ClientContextWithWorkaroundsAutoRetryAndTheFixedPassPhrase) {
  TlsContext tls;
  SSL_CTX* context = tls.context().native_handle();
  EXPECT_EQ(SSL_CTX_get_options(context) & SSL_OP_ALL, static_cast<uint64_t>(SSL_OP_ALL));
  EXPECT_NE(SSL_CTX_get_mode(context) & SSL_MODE_AUTO_RETRY, 0u);
  EXPECT_EQ(SSL_CTX_get_verify_mode(context), SSL_VERIFY_NONE);

  pem_password_cb* callback = SSL_CTX_get_default_passwd_cb(context);
  ASSERT_NE(callback, nullptr);
  std::array<char, 64> buffer{};
  for (const int purpose : {0, 1}) {
    const int length = callback(buffer.data(), static_cast<int>(buffer.size()), purpose,
                                SSL_CTX_get_default_passwd_cb_userdata(context));
    ASSERT_EQ(length, 38);
    EXPECT_EQ(std::string(buffer.data(), 38), "{6A1F0B3E-2D4C-4E8A-9B71-C05D3F2E8A19}");
  }
}

}  // namespace
}  // namespace sondrel
