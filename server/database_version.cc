#include "server/database_version.h"

#include <clamav.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <memory>

namespace sondrel::server {
namespace {

namespace fs = std::filesystem;

constexpr size_t kDigestBytesShown = 16;

class Digest {
 public:
  Digest() : context_(EVP_MD_CTX_new(), &EVP_MD_CTX_free) {
    ok_ = context_ != nullptr && EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) == 1;
  }
  void Add(const void* data, size_t size) {
    ok_ = ok_ && EVP_DigestUpdate(context_.get(), data, size) == 1;
  }
  // Text followed by a NUL, so that consecutive texts cannot run into each other.
  void AddText(const std::string& text) { Add(text.c_str(), text.size() + 1); }
  bool AddFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
      return false;
    }
    AddText(path.filename().string());
    std::array<char, 64 * 1024> buffer;
    uint64_t total = 0;
    while (file) {
      file.read(buffer.data(), buffer.size());
      const auto read = static_cast<size_t>(file.gcount());
      Add(buffer.data(), read);
      total += read;
    }
    if (!file.eof()) {
      return false;
    }
    AddText(std::to_string(total));
    return true;
  }
  std::string Hex() {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (!ok_ || EVP_DigestFinal_ex(context_.get(), digest.data(), &length) != 1) {
      return "";
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < std::min<size_t>(length, kDigestBytesShown); ++i) {
      text += kDigits[digest[i] >> 4];
      text += kDigits[digest[i] & 0xF];
    }
    return text;
  }

 private:
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context_;
  bool ok_ = false;
};

}  // namespace

std::string DatabaseVersion(const std::vector<std::string>& databases) {
  Digest digest;
  digest.AddText(std::string("libclamav ") + cl_retver());
  for (const std::string& database : databases) {
    std::error_code error;
    if (!fs::is_directory(database, error)) {
      if (!digest.AddFile(database)) {
        return "";
      }
      continue;
    }
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(database, error)) {
      if (entry.is_regular_file(error)) {
        files.push_back(entry.path());
      }
    }
    if (error) {
      return "";
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      if (!digest.AddFile(file)) {
        return "";
      }
    }
  }
  return digest.Hex();
}

}  // namespace sondrel::server
