// The comm client's TLS settings that cannot be used: each file that is missing, unreadable,
// malformed or does not match, and each pin that is no digest, is reported at Start with its
// name, and the TLS sessions that need it are never made (no connection at all, never one
// without the checks); plain servers and servers that do not need the broken part go on.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "comm/sock_comm_client.h"
#include "comm/sock_comm_session.h"
#include "support/fake_server/test_authority.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "unit/comm/client_test_support.h"

namespace sondrel::test {
namespace {

class TlsSetupTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(authority_.ok());
    const auto first = authority_.Issue("client", {}, {}, true);
    const auto second = authority_.Issue("other client", {}, {}, true);
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(WriteTextFile(Path("ca.pem"), authority_.CertificatePem()));
    ASSERT_TRUE(WriteTextFile(Path("client.pem"), first->certificatePem));
    ASSERT_TRUE(WriteTextFile(Path("client.key"), first->keyPem));
    ASSERT_TRUE(WriteTextFile(Path("other.key"), second->keyPem));
    ASSERT_TRUE(WriteTextFile(Path("garbage.pem"), "-----BEGIN CERTIFICATE-----\nnot base64\n"));
    std::filesystem::create_directories(Path("empty-dir"));
  }

  std::string Path(const std::string& name) const { return (dir_.path() / name).string(); }

  TempDir dir_;
  TestAuthority authority_{"test authority"};
};

struct BadInput {
  const char* name;
  // Code and value of each TLS option set.
  std::vector<std::pair<int32_t, std::string>> options;
  // The start-up line, after "TLS: ", with {dir} for the test directory.
  std::string reported;
};

std::string WithDirectory(std::string text, const std::string& directory) {
  for (size_t at = text.find("{dir}"); at != std::string::npos; at = text.find("{dir}")) {
    text.replace(at, 5, directory);
  }
  return text;
}

TEST_F(TlsSetupTest, UnusableFilesAndPinsAreReportedAndNoTlsSessionIsMade) {
  const BadInput cases[] = {
      {"missing CA file",
       {{kOptionTlsCaFile, "{dir}/none.pem"}},
       "cannot use the CA file {dir}/none.pem: it does not exist"},
      {"CA file that is a directory",
       {{kOptionTlsCaFile, "{dir}/empty-dir"}},
       "cannot use the CA file {dir}/empty-dir: it is a directory"},
      {"malformed CA file",
       {{kOptionTlsCaFile, "{dir}/garbage.pem"}},
       "cannot use the CA file {dir}/garbage.pem: "},
      {"CA directory that is a file",
       {{kOptionTlsCaPath, "{dir}/ca.pem"}},
       "cannot use the CA directory {dir}/ca.pem: it is not a directory"},
      {"CA directory without hashed names",
       {{kOptionTlsCaPath, "{dir}/empty-dir"}},
       "cannot use the CA directory {dir}/empty-dir: it holds no certificate under a name "
       "`openssl rehash` makes"},
      {"missing client certificate",
       {{kOptionTlsClientCert, "{dir}/none.pem"}},
       "cannot use the client certificate {dir}/none.pem: it does not exist"},
      {"malformed client certificate",
       {{kOptionTlsClientCert, "{dir}/garbage.pem"}},
       "cannot use the client certificate {dir}/garbage.pem: "},
      {"client certificate without a key in its file",
       {{kOptionTlsClientCert, "{dir}/client.pem"}},
       "cannot use the client key {dir}/client.pem: "},
      {"key of another certificate",
       {{kOptionTlsClientCert, "{dir}/client.pem"}, {kOptionTlsClientKey, "{dir}/other.key"}},
       "the client key {dir}/other.key does not belong to the client certificate "
       "{dir}/client.pem"},
      {"key without a certificate",
       {{kOptionTlsClientKey, "{dir}/client.key"}},
       "the client key {dir}/client.key is given without a client certificate (tlsclientcert)"},
      {"pin that is no digest",
       {{kOptionTlsCaFile, "{dir}/ca.pem"}, {kOptionTlsPin, "sha256//AAAA"}},
       "cannot use tlspin: \"sha256//AAAA\" is not the SHA-256 of a public key in hex"},
      {"pin one digit short",
       {{kOptionTlsPin, std::string(63, 'a')}},
       "cannot use tlspin: \"" + std::string(63, 'a') + "\" is not the SHA-256"},
  };
  for (const BadInput& c : cases) {
    SCOPED_TRACE(c.name);
    FakeServerOptions options;
    options.tls = true;
    FakeServer server([](FakeConnection&) {}, options);
    auto plain = ScriptedServer({}, "127.0.0.2");
    CommServerEntry tls = EntryFor(server, 1);
    tls.useSSL = 1;
    LogCapture capture;
    SockCommClient client;
    Configure(client, {.servers = {tls, EntryFor(*plain, 2)}, .reconnectInterval = 30});
    for (const auto& [code, value] : c.options) {
      client.SetOption(code, WithDirectory(value, dir_.path().string()).c_str());
    }
    client.ApplyOptions();
    ASSERT_EQ(client.Start(), 0);
    const std::string reported = "TLS: " + WithDirectory(c.reported, dir_.path().string());
    EXPECT_TRUE(capture.Contains(reported)) << reported;
    EXPECT_TRUE(capture.Contains(
        " TLS: not connecting to 127.0.0.1:" + std::to_string(server.port()) + ": "));
    EXPECT_FALSE(server.WaitForConnections(1, 100)) << "a TLS session was made";
    // The plain server is not affected.
    ASSERT_EQ(client.Sessions().size(), 1u);
    EXPECT_EQ(client.Sessions()[0]->GetHost(), "127.0.0.2");
    client.Stop();
  }
}

TEST_F(TlsSetupTest, OnlyTheServerWithAnUnusablePinOfItsOwnIsLeftOut) {
  FakeServerOptions first;
  first.tls = true;
  FakeServer broken([](FakeConnection&) {}, first);
  FakeServerOptions second = first;
  second.address = "127.0.0.2";
  auto good = std::make_unique<FakeServer>(
      [](FakeConnection& connection) { ServeSession(connection, {}); }, second);
  CommServerEntry brokenEntry = EntryFor(broken, 1);
  brokenEntry.useSSL = 1;
  brokenEntry.tlsPin = "12:34";
  CommServerEntry goodEntry = EntryFor(*good, 2);
  goodEntry.useSSL = 1;
  LogCapture capture;
  SockCommClient client;
  Configure(client, {.servers = {brokenEntry, goodEntry}, .reconnectInterval = 30});
  const std::string pin = good->certificatePin();
  client.SetOption(kOptionTlsPin, pin.c_str());
  client.ApplyOptions();
  ASSERT_EQ(client.Start(), 0);
  EXPECT_TRUE(capture.Contains(
      "TLS: cannot use the tlspin of server 127.0.0.1:" + std::to_string(broken.port()) +
      ": \"12:34\" is not the SHA-256 of a public key in hex"));
  EXPECT_FALSE(broken.WaitForConnections(1, 100));
  ASSERT_EQ(client.Sessions().size(), 1u);
  EXPECT_EQ(client.Sessions()[0]->GetHost(), "127.0.0.2");
  EXPECT_TRUE(client.Sessions()[0]->tlsVerified());
  client.Stop();
}

TEST_F(TlsSetupTest, PlainServersAreNamedAsUnverifiedWhenVerificationIsAsked) {
  auto plain = ScriptedServer({}, "127.0.0.1");
  LogCapture capture;
  SockCommClient client;
  Configure(client, {.servers = {EntryFor(*plain, 1)}, .reconnectInterval = 30});
  client.SetOption(kOptionTlsCaFile, Path("ca.pem").c_str());
  client.ApplyOptions();
  ASSERT_EQ(client.Start(), 0);
  EXPECT_TRUE(capture.Contains("TLS: server 127.0.0.1:" + std::to_string(plain->port()) +
                               " is not reached over TLS: its identity is not verified"));
  EXPECT_EQ(client.Sessions().size(), 1u);
  client.Stop();
}

}  // namespace
}  // namespace sondrel::test
