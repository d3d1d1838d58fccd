#include "scan/md5.h"

namespace sondrel {

Md5::Md5() : context_(EVP_MD_CTX_new()) {
  ok_ = context_ && EVP_DigestInit_ex(context_.get(), EVP_md5(), nullptr) == 1;
}

void Md5::Update(const uint8_t* data, size_t length) {
  ok_ = ok_ && EVP_DigestUpdate(context_.get(), data, length) == 1;
}

std::optional<Md5::Digest> Md5::Final() {
  Digest digest{};
  unsigned int length = 0;
  ok_ = ok_ && EVP_DigestFinal_ex(context_.get(), digest.data(), &length) == 1 &&
        length == digest.size();
  if (!ok_) {
    return std::nullopt;
  }
  ok_ = false;
  return digest;
}

std::optional<Md5::Digest> Md5::Of(const uint8_t* data, size_t length) {
  Md5 md5;
  md5.Update(data, length);
  return md5.Final();
}

}  // namespace sondrel
