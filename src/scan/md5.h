// MD5 through OpenSSL. A digest that the library cannot compute (no memory, MD5 not offered by
// the crypto provider) is reported as missing, never thrown.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include <openssl/evp.h>

namespace sondrel {

class Md5 {
 public:
  using Digest = std::array<uint8_t, 16>;

  Md5();
  void Update(const uint8_t* data, size_t length);
  // The digest of everything fed so far; the object is spent afterwards.
  std::optional<Digest> Final();

  static std::optional<Digest> Of(const uint8_t* data, size_t length);

 private:
  struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  std::unique_ptr<EVP_MD_CTX, ContextFree> context_;
  bool ok_ = false;
};

}  // namespace sondrel
