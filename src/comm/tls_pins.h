// Pins of TLS servers: the SHA-256 digest of a certificate's public key (its DER
// SubjectPublicKeyInfo), written as 64 hex digits, with colons between the bytes if one likes;
// several pins are separated by commas, so that a server's key can be replaced without a gap.
#pragma once

#include <openssl/x509.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sondrel {

using SpkiDigest = std::array<uint8_t, 32>;

// The pins of `text`, none for an empty text; nothing, with the reason in `error`, when an item is
// not a digest.
std::optional<std::vector<SpkiDigest>> ParsePins(std::string_view text, std::string& error);
// The digest of the certificate's public key; nothing when it cannot be encoded.
std::optional<SpkiDigest> SpkiDigestOf(X509* certificate);
// 64 lower-case hex digits.
std::string FormatDigest(const SpkiDigest& digest);

}  // namespace sondrel
