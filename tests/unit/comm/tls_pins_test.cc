// Pins as the settings write them, and the digest of a certificate's public key, checked against
// the test authority's own computation.
#include "comm/tls_pins.h"

#include <gtest/gtest.h>

#include <openssl/pem.h>

#include <string>

#include "support/fake_server/test_authority.h"

namespace sondrel {
namespace {

TEST(TlsPinsTest, DigestsInHexWithOrWithoutColonsSeparatedByCommas) {
  const std::string hex = "00112233445566778899aabbccddeeff00112233445566778899AABBCCDDEEFF";
  std::string colons;
  for (size_t i = 0; i < hex.size(); i += 2) {
    colons += (i == 0 ? "" : ":") + hex.substr(i, 2);
  }
  struct Case {
    std::string text;
    size_t pins;
  };
  for (const Case& c : {Case{"", 0}, Case{"  ", 0}, Case{hex, 1}, Case{" " + colons + " ", 1},
                        Case{hex + "," + colons, 2}, Case{hex + ",", 1}}) {
    SCOPED_TRACE(c.text);
    std::string error;
    const auto pins = ParsePins(c.text, error);
    ASSERT_TRUE(pins) << error;
    ASSERT_EQ(pins->size(), c.pins);
    for (const SpkiDigest& pin : *pins) {
      EXPECT_EQ(pin[0], 0x00);
      EXPECT_EQ(pin[10], 0xaa);
      EXPECT_EQ(pin[31], 0xff);
      EXPECT_EQ(FormatDigest(pin),
                "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff");
    }
  }
  const std::string bads[] = {hex.substr(1), hex + "0", hex.substr(0, 63) + "g", "sha256//ABCD",
                              hex + ";" + hex};
  for (const std::string& bad : bads) {
    SCOPED_TRACE(bad);
    std::string error;
    EXPECT_FALSE(ParsePins(bad, error));
    EXPECT_NE(error.find("is not the SHA-256 of a public key in hex"), std::string::npos) << error;
  }
}

TEST(TlsPinsTest, TheDigestCoversTheCertificatesPublicKey) {
  test::TestAuthority authority("pin authority");
  const auto issued = authority.Issue("server", {"scan.example"}, {});
  ASSERT_TRUE(issued);
  BIO* bio = BIO_new_mem_buf(issued->certificatePem.data(),
                             static_cast<int>(issued->certificatePem.size()));
  X509* certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  ASSERT_NE(certificate, nullptr);
  const auto digest = SpkiDigestOf(certificate);
  X509_free(certificate);
  ASSERT_TRUE(digest);
  EXPECT_EQ(FormatDigest(*digest), issued->publicKeySha256);
}

}  // namespace
}  // namespace sondrel
