#include "comm/tls_pins.h"

#include <openssl/evp.h>

#include <memory>

namespace sondrel {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::optional<SpkiDigest> ParseDigest(std::string_view item) {
  SpkiDigest digest{};
  size_t digits = 0;
  for (const char c : item) {
    if (c == ':') {
      continue;
    }
    const int value = HexValue(c);
    if (value < 0 || digits >= 2 * digest.size()) {
      return std::nullopt;
    }
    digest[digits / 2] = static_cast<uint8_t>((digest[digits / 2] << 4) | value);
    ++digits;
  }
  if (digits != 2 * digest.size()) {
    return std::nullopt;
  }
  return digest;
}

}  // namespace

std::optional<std::vector<SpkiDigest>> ParsePins(std::string_view text, std::string& error) {
  std::vector<SpkiDigest> pins;
  while (true) {
    const size_t comma = text.find(',');
    const std::string_view item = Trimmed(text.substr(0, comma));
    if (!item.empty()) {
      const std::optional<SpkiDigest> digest = ParseDigest(item);
      if (!digest) {
        error = "\"" + std::string(item) +
                "\" is not the SHA-256 of a public key in hex (64 digits, colons allowed)";
        return std::nullopt;
      }
      pins.push_back(*digest);
    }
    if (comma == std::string_view::npos) {
      return pins;
    }
    text.remove_prefix(comma + 1);
  }
}

std::optional<SpkiDigest> SpkiDigestOf(X509* certificate) {
  unsigned char* der = nullptr;
  const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der);
  if (length <= 0) {
    return std::nullopt;
  }
  const std::unique_ptr<unsigned char, void (*)(unsigned char*)> owned(
      der, [](unsigned char* bytes) { OPENSSL_free(bytes); });
  SpkiDigest digest{};
  unsigned int size = 0;
  if (EVP_Digest(der, static_cast<size_t>(length), digest.data(), &size, EVP_sha256(), nullptr) !=
          1 ||
      size != digest.size()) {
    return std::nullopt;
  }
  return digest;
}

std::string FormatDigest(const SpkiDigest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

}  // namespace sondrel
