// Verified TLS between the library and the real sondrel-server, with an authority made by the
// test: the chain, the host name (an IP address or a host name), the pins (the settings' own and a
// server's), each refusing the server it does not accept; mutual TLS with the server's
// --tls-client-ca; and, with nothing configured, the unverified sessions of old and their one
// warning.
#include <gtest/gtest.h>

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "e2e/library_client.h"
#include "support/fake_server/test_authority.h"
#include "support/log_capture.h"
#include "support/scan_server/server_process.h"
#include "support/temp_dir.h"

namespace sondrel::test {
namespace {

constexpr int32_t kInfected = 0x20;

// The name OpenSSL looks a certificate up by in a CA directory: the hash of its subject.
std::string HashedName(const std::string& certificatePem) {
  BIO* bio = BIO_new_mem_buf(certificatePem.data(), static_cast<int>(certificatePem.size()));
  X509* certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  char name[16] = {};
  std::snprintf(name, sizeof(name), "%08lx.0", X509_subject_name_hash(certificate));
  X509_free(certificate);
  return name;
}

class TlsE2eTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(authority_.ok());
    ASSERT_TRUE(stranger_.ok());
    const auto issued = authority_.Issue("sondrel test server", {"localhost"}, {"127.0.0.1"});
    ASSERT_TRUE(issued);
    server_ = *issued;
    ASSERT_TRUE(WriteTextFile(Path("ca.pem"), authority_.CertificatePem()));
    ASSERT_TRUE(WriteTextFile(Path("stranger.pem"), stranger_.CertificatePem()));
    ASSERT_TRUE(WriteTextFile(Path("server.pem"), server_.certificatePem));
    ASSERT_TRUE(WriteTextFile(Path("server.key"), server_.keyPem));
    std::filesystem::create_directories(Path("certs"));
    ASSERT_TRUE(WriteTextFile(Path("certs") / HashedName(authority_.CertificatePem()),
                              authority_.CertificatePem()));
  }

  void TearDown() override {
    if (HasFailure()) {
      for (const auto& server : servers_) {
        std::cerr << "server log:\n" << server->Log();
      }
    }
  }

  std::filesystem::path Path(const std::string& name) const { return dir_.path() / name; }

  // A TLS server on 127.0.0.1 and 127.0.0.2 (ports of their own) with the test's certificate,
  // which names 127.0.0.1 and localhost only.
  ServerProcess* StartServer(std::vector<std::string> arguments = {}) {
    ServerProcessOptions options;
    options.listen = {};
    options.tlsListen = {"127.0.0.1:0", "127.0.0.2:0"};
    options.arguments = {"--tls-cert",  Path("server.pem").string(),
                         "--tls-key",   Path("server.key").string(),
                         "--database",  SONDREL_SERVER_SIGNATURES,
                         "--workers",   "1",
                         "--log-level", "debug"};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    servers_.push_back(std::make_unique<ServerProcess>(
        SONDREL_SERVER_PROGRAM, Path("server" + std::to_string(servers_.size()) + ".log"),
        options));
    EXPECT_TRUE(servers_.back()->ok()) << servers_.back()->Log();
    return servers_.back().get();
  }

  TempDir dir_;
  TestAuthority authority_{"sondrel test authority"};
  TestAuthority stranger_{"another authority"};
  IssuedCertificate server_;
  std::vector<std::unique_ptr<ServerProcess>> servers_;
};

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line + "\n";
  }
  return text;
}

// Scans the EICAR string until the server answers; false when it does not within 10 seconds.
// (A client does not wait for its own availability event: the last announced state is
// process-wide, so a second client of the test process never announces it.)
bool ScansOver(LibraryClient& client) {
  HostFile eicar(kEicar);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    const ScanOutcome outcome = client.Scan(eicar, "eicar.com");
    if (outcome.status == 0) {
      return outcome.verdict == kInfected;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// The client's sessions are refused, as `capture` shows with `logged`, and a scan is not
// answered.
void ExpectRefused(LibraryClient& client, const LogCapture& capture, const std::string& logged) {
  client.Init(1, std::chrono::milliseconds(0));
  EXPECT_TRUE(capture.WaitFor(logged)) << Joined(capture.Lines());
  HostFile eicar(kEicar);
  EXPECT_NE(client.Scan(eicar, "eicar.com").status, 0);
}

enum class Authority { None, Own, Stranger, OwnDirectory };
enum class Pin { None, Right, Wrong, TwoWrong };

struct CheckCase {
  const char* name;
  const char* address;
  size_t listener;
  Authority authority;
  bool verifyHost;
  Pin pin;
  Pin serverPin;
  bool accepted;
  // What the log says about the server, after "ADDRESS:PORT "; {pin} is the server's pin.
  std::string logged;
};

void PrintTo(const CheckCase& c, std::ostream* out) {
  *out << c.name;
}

// Each case runs in a process of its own: the last availability the library announced is
// process-wide, so a second client in one process would never see its servers as available.
class TlsCheckTest : public TlsE2eTest, public testing::WithParamInterface<CheckCase> {
 protected:
  std::string PinText(Pin pin) const {
    const std::string wrong(64, '0');
    switch (pin) {
      case Pin::None:
        return "";
      case Pin::Right:
        return server_.publicKeySha256;
      case Pin::Wrong:
        return wrong;
      case Pin::TwoWrong:
        return wrong + ", " + std::string(64, 'f');
    }
    return "";
  }

  std::string Settings(const CheckCase& c) const {
    std::string settings;
    switch (c.authority) {
      case Authority::None:
        break;
      case Authority::Own:
        settings = "<tlscafile>" + Path("ca.pem").string() + "</tlscafile>";
        break;
      case Authority::Stranger:
        settings = "<tlscafile>" + Path("stranger.pem").string() + "</tlscafile>";
        break;
      case Authority::OwnDirectory:
        settings = "<tlscapath>" + Path("certs").string() + "</tlscapath>";
        break;
    }
    if (!c.verifyHost) {
      settings += "<tlsverifyhost>0</tlsverifyhost>";
    }
    if (c.pin != Pin::None) {
      settings += "<tlspin>" + PinText(c.pin) + "</tlspin>";
    }
    return settings;
  }
};

TEST_P(TlsCheckTest, TheCheckAcceptsTheRightServerAndRefusesTheWrongOne) {
  const CheckCase& c = GetParam();
  ServerProcess* server = StartServer();
  LogCapture capture;
  LibraryClient client({{c.address, 0, PinText(c.serverPin)}}, server->tlsPort(c.listener),
                       Settings(c), /*tls=*/true);
  std::string logged = c.logged;
  if (const size_t at = logged.find("{pin}"); at != std::string::npos) {
    logged.replace(at, 5, server_.publicKeySha256);
  }
  logged = c.address + (":" + std::to_string(server->tlsPort(c.listener))) + " " + logged;
  if (c.accepted) {
    client.Init(1, std::chrono::milliseconds(0));
    EXPECT_TRUE(ScansOver(client)) << Joined(capture.Lines());
    EXPECT_TRUE(capture.Contains(logged)) << logged;
  } else {
    ExpectRefused(client, capture, logged);
  }
  EXPECT_FALSE(capture.Contains("is not verified"));
}

const CheckCase kCheckCases[] = {
    {"AuthorityAndIpAddress", "127.0.0.1", 0, Authority::Own, true, Pin::None, Pin::None, true,
     "verified: the certificate chain and the host name"},
    {"AuthorityAndHostName", "localhost", 0, Authority::Own, true, Pin::None, Pin::None, true,
     "verified: the certificate chain and the host name"},
    {"AuthorityDirectory", "127.0.0.1", 0, Authority::OwnDirectory, true, Pin::None, Pin::None,
     true, "verified: the certificate chain and the host name"},
    {"AnotherAuthority", "127.0.0.1", 0, Authority::Stranger, true, Pin::None, Pin::None, false,
     "failed: certificate chain: unable to get local issuer certificate at depth 0 "
     "(/CN=sondrel test server)"},
    {"ANameTheCertificateLacks", "127.0.0.2", 1, Authority::Own, true, Pin::None, Pin::None, false,
     "failed: host name: the certificate is not for 127.0.0.2"},
    {"NoHostNameCheck", "127.0.0.2", 1, Authority::Own, false, Pin::None, Pin::None, true,
     "verified: the certificate chain"},
    {"TheRightPinAlone", "127.0.0.2", 1, Authority::None, true, Pin::Right, Pin::None, true,
     "verified: the pin"},
    {"AWrongPin", "127.0.0.1", 0, Authority::None, true, Pin::Wrong, Pin::None, false,
     "failed: pin: the public key of /CN=sondrel test server has SHA-256 {pin}, which is not "
     "pinned"},
    {"WrongPinsBesideTheRightAuthority", "127.0.0.1", 0, Authority::Own, true, Pin::TwoWrong,
     Pin::None, false, "failed: pin: "},
    {"TheServersOwnPinOverAWrongOne", "127.0.0.1", 0, Authority::Own, true, Pin::Wrong, Pin::Right,
     true, "verified: the certificate chain and the host name and the pin"},
};

INSTANTIATE_TEST_SUITE_P(Cases, TlsCheckTest, testing::ValuesIn(kCheckCases),
                         [](const testing::TestParamInfo<CheckCase>& param) {
                           return std::string(param.param.name);
                         });

TEST_F(TlsE2eTest, WithNothingConfiguredAnyCertificateIsAcceptedWithOneWarningPerSession) {
  ServerProcess* server = StartServer();
  LogCapture capture;
  // A name the certificate lacks, and an authority the client does not know.
  LibraryClient client({{"127.0.0.2", 0}}, server->tlsPort(1), "", /*tls=*/true);
  ASSERT_TRUE(client.Init());
  EXPECT_TRUE(ScansOver(client));
  EXPECT_TRUE(ScansOver(client));
  EXPECT_TRUE(capture.Contains("SLL verify certificate: unable to get local issuer certificate"));
  // One warning per session, each beginning with the session's address.
  const std::string warning =
      " TLS: the identity of server 127.0.0.2:" + std::to_string(server->tlsPort(1)) +
      " is not verified (no tlscafile, tlscapath or tlspin)";
  std::multiset<std::string> sessions;
  for (const std::string& message : capture.Messages()) {
    const size_t space = message.find(' ');
    if (message.rfind("0x", 0) == 0 && space != std::string::npos &&
        message.compare(space, std::string::npos, warning) == 0) {
      sessions.insert(message.substr(0, space));
    }
  }
  ASSERT_FALSE(sessions.empty());
  for (const std::string& session : sessions) {
    EXPECT_EQ(sessions.count(session), 1u) << session;
  }
  EXPECT_FALSE(capture.Contains(" TLS: server "));
}

TEST_F(TlsE2eTest, MutualTlsAcceptsOnlyAClientWithACertificateOfTheAuthority) {
  ServerProcess* server = StartServer({"--tls-client-ca", Path("ca.pem").string()});
  const auto client = authority_.Issue("sondrel test client", {}, {}, /*client=*/true);
  const auto strangerClient = stranger_.Issue("stranger client", {}, {}, /*client=*/true);
  ASSERT_TRUE(client && strangerClient);
  ASSERT_TRUE(WriteTextFile(Path("client.pem"), client->certificatePem));
  ASSERT_TRUE(WriteTextFile(Path("client.key"), client->keyPem));
  // Certificate and key in one file.
  ASSERT_TRUE(WriteTextFile(Path("stranger-client.pem"),
                            strangerClient->certificatePem + strangerClient->keyPem));
  const std::string ca = "<tlscafile>" + Path("ca.pem").string() + "</tlscafile>";
  {
    LibraryClient accepted({{}}, server->tlsPort(),
                           ca + "<tlsclientcert>" + Path("client.pem").string() +
                               "</tlsclientcert><tlsclientkey>" + Path("client.key").string() +
                               "</tlsclientkey>",
                           /*tls=*/true);
    ASSERT_TRUE(accepted.Init());
    EXPECT_TRUE(ScansOver(accepted));
  }
  {
    // TLS 1.3: the client's handshake completes before the server refuses it, and the refusal
    // ends the hello exchange.
    LogCapture capture;
    LibraryClient anonymous({{}}, server->tlsPort(), ca, /*tls=*/true);
    ExpectRefused(anonymous, capture, "Error received from hello response");
  }
  {
    LogCapture capture;
    LibraryClient stranger(
        {{}}, server->tlsPort(),
        ca + "<tlsclientcert>" + Path("stranger-client.pem").string() + "</tlsclientcert>",
        /*tls=*/true);
    ExpectRefused(stranger, capture, "Error received from hello response");
  }
  EXPECT_TRUE(server->WaitForLog("TLS handshake: ", 2));
  EXPECT_TRUE(server->WaitForLog("name=\"eicar.com\"", 1));
  EXPECT_FALSE(server->WaitForLog("name=\"eicar.com\"", 2, std::chrono::milliseconds(200)));
}

}  // namespace
}  // namespace sondrel::test
