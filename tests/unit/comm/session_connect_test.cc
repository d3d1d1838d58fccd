// Connection set-up against the fake scan server: resolution, connect with fall-through, socket
// options, TLS and the hello, on the synchronous and the asynchronous path.
#include <gtest/gtest.h>

#include <atomic>
#include <boost/asio/error.hpp>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "comm/session_tls.h"
#include "comm/sock_comm_session.h"
#include "comm/tls_context.h"
#include "comm/tls_pins.h"
#include "comm/utc_clock.h"
#include "platform/process_info.h"
#include "platform/socket_options.h"
#include "support/fake_server/fake_server.h"
#include "support/fake_server/server_frames.h"
#include "support/fake_server/session_script.h"
#include "support/log_capture.h"
#include "unit/comm/session_test_support.h"
#include "unit/comm/test_records.h"

namespace sondrel::test {
namespace {

using boost::asio::ip::make_address_v4;
using boost::asio::ip::tcp;

// The frames a scripted server received, for checks after the fact.
class Received {
 public:
  void Add(const WireFrame& frame) {
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.push_back(frame);
  }
  std::vector<WireFrame> frames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<WireFrame> frames_;
};

// A server that answers the hello with `answer` and the running-server data request, and records
// everything it receives.
FakeServer HelloServer(Received& received, std::function<WireFrame(const WireFrame&)> answer,
                       FakeServerOptions options = {}) {
  return FakeServer(
      [&received, answer](FakeConnection& connection) {
        SessionScript script;
        script.hello = [&received, answer](const WireFrame& hello) {
          received.Add(hello);
          return std::optional<WireFrame>(answer(hello));
        };
        script.runningData.reset();
        script.onMessage = [&received](FakeConnection& c, const WireFrame& frame) {
          received.Add(frame);
          return frame.messageType != kRunningDataType ||
                 c.Send(RunningServerData(24, kTestServerId, 3, 1));
        };
        ServeSession(connection, script);
      },
      std::move(options));
}

// Resolves every name to the given endpoints, counting the queries.
Resolver FixedResolver(std::vector<tcp::endpoint> endpoints, std::atomic<int>* queries = nullptr) {
  return [endpoints, queries](const std::string&, const std::string&, EndpointList& out) {
    if (queries != nullptr) {
      ++*queries;
    }
    out = endpoints;
    return boost::system::error_code();
  };
}

// 127.0.0.2 and 127.0.0.3 are loopback addresses on which nothing listens: connects are refused.
tcp::endpoint Refusing(uint16_t port, const char* address = "127.0.0.2") {
  return {make_address_v4(address), port};
}

TEST(SessionConnectTest, SynchronousHelloAnswerGivesTheFirstLoadState) {
  struct Case {
    uint32_t serverStatus;
    int32_t state;
  };
  const Case cases[] = {{0x1, Server_Underloaded},        {0x2 | 0x8, Server_Overloaded},
                        {0x2 | 0x10, Server_Underloaded}, {0x2, Server_Normal},
                        {0x4, Server_Overloaded},         {0x0, Server_Normal}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.serverStatus);
    Received received;
    FakeServer server =
        HelloServer(received, [&](const WireFrame&) { return HelloAnswer(0, c.serverStatus); });
    auto session = NewSession();
    PointAt(*session, server);
    EXPECT_EQ(session->Start(), 0);
    EXPECT_TRUE(session->IsConnected());
    EXPECT_EQ(session->serverState(), (ServerStateValue{c.state, 1}));
    EXPECT_TRUE(session->runningDataObtained());
    session->Stop();
  }
}

TEST(SessionConnectTest, SynchronousHelloCarriesHostNameAndTimestamp) {
  Received received;
  FakeServer server = HelloServer(received, [](const WireFrame&) { return HelloAnswer(0); });
  auto session = NewSession();
  PointAt(*session, server);
  HelloLog log;
  session->SetHelloCallback(&log, &HelloLog::Record);
  LogCapture capture;
  const uint64_t before = UtcMicrosecondsSince1400();
  session->Start();
  const uint64_t after = UtcMicrosecondsSince1400();
  session->Stop();

  const std::vector<WireFrame> frames = received.frames();
  ASSERT_EQ(frames.size(), 2u);
  const WireFrame& hello = frames[0];
  EXPECT_EQ(hello.messageType, kHelloType);
  EXPECT_EQ(hello.messageKind, 0u);
  EXPECT_EQ(hello.route(), 0u);
  EXPECT_EQ(hello.conversationId, 0u);
  EXPECT_EQ(hello.sendCount, 0u);
  EXPECT_EQ(hello.answerTimeoutMs, -1);
  const std::vector<uint8_t> payload = hello.PlainPayload();
  ASSERT_EQ(payload.size(), 300u);
  std::vector<uint8_t> expected = HelloRecord();
  const std::string host = platform::HostName().substr(0, 254);
  std::copy(host.begin(), host.end(), expected.begin() + 37);
  EXPECT_EQ(std::vector<uint8_t>(payload.begin(), payload.begin() + 292), expected);
  const uint64_t timestamp = ReadLe64(payload, 292);
  EXPECT_GE(timestamp, before);
  EXPECT_LE(timestamp, after);
  EXPECT_TRUE(
      capture.Contains(LoggedAddress(*session) + " Detected client hostname is: " + host + " 3 3"));

  // The running-server data request follows the hello.
  const WireFrame& request = frames[1];
  EXPECT_EQ(request.messageType, kRunningDataType);
  EXPECT_EQ(request.messageKind, 0u);
  EXPECT_EQ(request.route(), 0u);
  EXPECT_EQ(request.PlainPayload(), Le32(4));
  EXPECT_EQ(request.answerTimeoutMs, 3000);
  EXPECT_TRUE(capture.Contains(LoggedAddress(*session) + " Obtained running-server data"));

  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log.requesters()[0], nullptr);
}

TEST(SessionConnectTest, LongHostNameIsCutTo254Bytes) {
  Received received;
  FakeServer server = HelloServer(received, [](const WireFrame&) { return HelloAnswer(0); });
  auto session = NewSession();
  PointAt(*session, server);
  session->SetHostNameQuery([] { return std::string(300, 'n'); });
  LogCapture capture;
  session->Start();
  session->Stop();
  ASSERT_FALSE(received.frames().empty());
  const std::vector<uint8_t> payload = received.frames()[0].PlainPayload();
  ASSERT_EQ(payload.size(), 300u);
  EXPECT_EQ(std::string(payload.begin() + 37, payload.begin() + 291), std::string(254, 'n'));
  EXPECT_EQ(payload[291], 0);
  EXPECT_TRUE(capture.Contains(" Detected client hostname is: " + std::string(254, 'n') + " 3 3"));
}

TEST(SessionConnectTest, RefusedHelloDisconnects) {
  Received received;
  FakeServer server = HelloServer(received, [](const WireFrame&) { return HelloAnswer(0x1); });
  auto session = NewSession();
  PointAt(*session, server);
  LogCapture capture;
  session->SetSyncMode(true);
  EXPECT_EQ(session->Connect(), SockCommSession::kNotConnected);
  session->SetSyncMode(false);
  EXPECT_FALSE(session->IsConnected());
  EXPECT_TRUE(session->closed());
  EXPECT_EQ(session->serverState().state, Server_Down);
  const std::string address = LoggedAddress(*session);
  EXPECT_TRUE(capture.Contains(address +
                               " Major version mismatch! Cannot continue!!! Launch a product "
                               "update."));
  EXPECT_TRUE(capture.Contains(
      address + " server dows not allow connection. Perform signature and product update! 1"));
  EXPECT_TRUE(server.WaitForScripts());
  // Only the hello went out.
  EXPECT_EQ(received.frames().size(), 1u);
}

TEST(SessionConnectTest, StartAfterARefusedHelloLeavesTheSessionDown) {
  Received received;
  FakeServer server = HelloServer(received, [](const WireFrame&) { return HelloAnswer(0x1); });
  auto session = NewSession();
  PointAt(*session, server);
  EXPECT_EQ(session->Start(), 0);
  EXPECT_EQ(session->serverState().state, Server_Down);
  EXPECT_FALSE(session->runningDataObtained());
  session->Stop();
  EXPECT_EQ(received.frames().size(), 1u);
}

TEST(SessionConnectTest, MismatchFlagsOtherThanTheMajorOneAreOnlyLogged) {
  Received received;
  FakeServer server = HelloServer(received, [](const WireFrame&) { return HelloAnswer(0xE); });
  auto session = NewSession();
  PointAt(*session, server);
  LogCapture capture;
  session->Start();
  EXPECT_TRUE(session->IsConnected());
  session->Stop();
  const std::string address = LoggedAddress(*session);
  for (const char* line :
       {" Minor version mismatch! Launch a product update.",
        " Engine version major mismatch. Will scan without context! Perform a signature update!",
        " Engine version minor mismatch. Perform a signature update!"}) {
    EXPECT_EQ(capture.Count(address + line), 1u) << line;
  }
  EXPECT_FALSE(capture.Contains("Major version mismatch"));
}

TEST(SessionConnectTest, EchoedTimestampCountsSlowHellos) {
  struct Case {
    const char* name;
    bool echoing;
    uint64_t ageUs;
    uint64_t thresholdUs;
    int32_t slowPings;
  };
  const uint64_t minuteUs = 60'000'000;
  const Case cases[] = {
      {"an echo older than the threshold", true, minuteUs, 50000, 2},
      {"an echo within the threshold", true, 0, 60 * minuteUs, 0},
      {"an answer that does not echo", false, 0, 50000, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Received received;
    FakeServer server = HelloServer(received, [&](const WireFrame& hello) {
      return c.echoing ? EchoingHelloAnswer(hello, 0, c.ageUs) : HelloAnswer(0);
    });
    auto session = NewSession();
    PointAt(*session, server);
    // One slow probe before, so that a change of the count shows.
    session->process_message(Record(PingAnswer(Le64(UtcMicrosecondsSince1400() - minuteUs))));
    ASSERT_EQ(session->slowPingCount(), 1);
    session->SetLatencyThresholdUs(c.thresholdUs);
    LogCapture capture;
    session->Start();
    EXPECT_TRUE(session->IsConnected());
    EXPECT_EQ(session->slowPingCount(), c.slowPings);
    EXPECT_EQ(capture.Contains(" client session hello from server latency in microseconds is : "),
              c.echoing);
    session->Stop();
  }
}

TEST(SessionConnectTest, FirstAddressRefusesAndTheSecondAccepts) {
  for (const bool async : {false, true}) {
    SCOPED_TRACE(async ? "asynchronous" : "synchronous");
    Received received;
    FakeServer server = HelloServer(received, [](const WireFrame&) { return HelloAnswer(0); });
    auto session = NewSession();
    PointAt(*session, server);
    session->SetHost("scan.test");
    session->SetResolver(FixedResolver({Refusing(server.port()), server.endpoint()}));
    session->SetConnectAsync(async);
    LogCapture capture;
    session->Start();
    EXPECT_TRUE(WaitFor([&] { return session->IsConnected(); }));
    EXPECT_TRUE(WaitFor([&] { return session->runningDataObtained(); }));
    const std::string address = LoggedAddress(*session);
    const std::string refusal =
        address + " Cannot connect to scan.test:" + std::to_string(server.port()) +
        ". Error: " + std::to_string(boost::asio::error::connection_refused) + " - ";
    EXPECT_EQ(capture.Contains(refusal), async);
    EXPECT_EQ(capture.Count(address + " Trying with the next ip... "), async ? 1u : 0u);
    EXPECT_EQ(capture.Contains(address + " Connected! scan.test:" + std::to_string(server.port())),
              async);
    session->Stop();
  }
}

TEST(SessionConnectTest, AsynchronousConnectSendsTheRecordAsItIsAndIsNormalWhateverTheLoad) {
  Received received;
  FakeServer server = HelloServer(received, [](const WireFrame&) { return HelloAnswer(0, 0x1); });
  auto session = NewSession();
  PointAt(*session, server);
  session->SetConnectAsync(true);
  HelloLog log;
  session->SetHelloCallback(&log, &HelloLog::Record);
  session->Start();
  ASSERT_TRUE(WaitFor([&] { return session->runningDataObtained(); }));
  EXPECT_TRUE(session->IsConnected());
  EXPECT_EQ(session->serverState().state, Server_Normal);
  EXPECT_EQ(log.size(), 1u);
  session->Stop();
  const std::vector<WireFrame> frames = received.frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].PlainPayload().size(), 292u);
  EXPECT_EQ(frames[1].messageType, kRunningDataType);
}

TEST(SessionConnectTest, NamesAreResolvedByTheSystem) {
  Received received;
  FakeServer server = HelloServer(received, [](const WireFrame&) { return HelloAnswer(0); });
  auto session = NewSession();
  PointAt(*session, server);
  session->SetHost("localhost");
  session->Start();
  EXPECT_TRUE(session->IsConnected());
  session->Stop();
}

TEST(SessionConnectTest, ResolutionFailure) {
  auto session = NewSession();
  session->SetHost("scan.invalid");
  session->SetPort("4000");
  session->SetResolver([](const std::string&, const std::string&, EndpointList&) {
    return boost::system::error_code(boost::asio::error::host_not_found);
  });
  LogCapture capture;
  session->SetSyncMode(true);
  EXPECT_EQ(session->Connect(), SockCommSession::kNotConnected);
  session->SetSyncMode(false);
  EXPECT_EQ(session->serverState(), (ServerStateValue{Server_Unknown, 0}));
  const std::string line = LoggedAddress(*session) +
                           " Error resolving query for scan.invalid:4000. Error: " +
                           std::to_string(boost::asio::error::host_not_found) + " - ";
  EXPECT_EQ(capture.Count(line), 1u);

  EXPECT_EQ(session->AsyncConnect(), SockCommSession::kNotConnected);
  EXPECT_EQ(session->serverState(), (ServerStateValue{Server_Down, 1}));
  EXPECT_EQ(capture.Count(line), 2u);
}

TEST(SessionConnectTest, EveryAddressRefusing) {
  const uint16_t port = 9;
  auto session = NewSession();
  session->SetHost("scan.test");
  session->SetPort(std::to_string(port));
  session->SetResolver(FixedResolver({Refusing(port), Refusing(port, "127.0.0.3")}));
  session->SetSyncMode(true);
  EXPECT_EQ(session->Connect(), boost::asio::error::connection_refused);
  session->SetSyncMode(false);
  EXPECT_EQ(session->serverState().state, Server_Unknown);

  LogCapture capture;
  session->SetConnectAsync(true);
  session->Start();
  EXPECT_TRUE(WaitFor([&] { return session->serverState().state == Server_Down; }));
  EXPECT_TRUE(capture.WaitFor(" handle_connect Error: "));
  session->Stop();
  EXPECT_EQ(capture.Count(" handle_connect Error: "), 1u);
  EXPECT_EQ(capture.Count(" Trying with the next ip... "), 1u);
  EXPECT_FALSE(session->IsConnected());
}

TEST(SessionConnectTest, AsyncConnectAfterStopDoesNotResolve) {
  std::atomic<int> queries{0};
  auto session = NewSession();
  session->SetResolver(FixedResolver({Refusing(9)}, &queries));
  session->Stop();
  EXPECT_EQ(session->AsyncConnect(), SockCommSession::kStopRequested);
  EXPECT_EQ(queries.load(), 0);
}

TEST(SessionConnectTest, TlsWithASelfSignedCertificate) {
  struct Case {
    const char* commonName;
    bool async;
    bool warned;
  };
  const Case cases[] = {
      {"Quorvex scan server", false, false},
      {"another scan server", false, true},
      {"Quorvex scan server", true, false},
      {"another scan server", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.commonName << (c.async ? ", asynchronous" : ""));
    Received received;
    FakeServerOptions options;
    options.tls = true;
    options.certificateCommonName = c.commonName;
    FakeServer server = HelloServer(
        received, [](const WireFrame&) { return HelloAnswer(0); }, options);
    TlsContext tls;
    auto session = NewSession();
    PointAt(*session, server);
    session->attach_tls(true, &tls.context());
    session->SetConnectAsync(c.async);
    LogCapture capture;
    session->Start();
    EXPECT_TRUE(WaitFor([&] { return session->runningDataObtained(); }));
    EXPECT_TRUE(session->IsConnected());
    EXPECT_TRUE(session->useTls());
    session->Stop();
    EXPECT_EQ(capture.Contains("SLL verify certificate: self-signed certificate"), c.warned);
    // Once per session, whatever the certificate says.
    EXPECT_EQ(capture.Count(LoggedAddress(*session) + " TLS: the identity of server 127.0.0.1:" +
                            std::to_string(server.port()) + " is not verified"),
              1u);
    EXPECT_FALSE(session->tlsVerified());
  }
}

TEST(SessionConnectTest, APinnedKeyIsVerifiedInsideTheHandshakeOnBothPaths) {
  struct Case {
    bool async;
    bool rightPin;
  };
  for (const Case& c :
       {Case{false, true}, Case{false, false}, Case{true, true}, Case{true, false}}) {
    SCOPED_TRACE(testing::Message() << (c.async ? "asynchronous" : "synchronous")
                                    << (c.rightPin ? ", right pin" : ", wrong pin"));
    Received received;
    FakeServerOptions options;
    options.tls = true;
    FakeServer server = HelloServer(
        received, [](const WireFrame&) { return HelloAnswer(0); }, options);
    std::string error;
    const auto pins = ParsePins(c.rightPin ? server.certificatePin() : std::string(64, 'a'), error);
    ASSERT_TRUE(pins) << error;
    auto tls = std::make_shared<SessionTls>();
    tls->context = std::make_shared<TlsContext>();
    std::vector<std::string> problems;
    ASSERT_TRUE(tls->context->Load(TlsSettings{}, problems));
    tls->check.pins = *pins;
    auto session = NewSession();
    PointAt(*session, server);
    session->SetTls(tls);
    session->SetConnectAsync(c.async);
    LogCapture capture;
    session->Start();
    if (c.rightPin) {
      EXPECT_TRUE(WaitFor([&] { return session->IsConnected(); }));
      EXPECT_TRUE(session->tlsVerified());
      EXPECT_TRUE(capture.Contains(LoggedAddress(*session) + " TLS: server 127.0.0.1:" +
                                   std::to_string(server.port()) + " verified: the pin"));
    } else {
      EXPECT_TRUE(capture.WaitFor(" TLS: verification of server 127.0.0.1:" +
                                  std::to_string(server.port()) + " failed: pin: "));
      EXPECT_TRUE(WaitFor([&] { return session->serverState().state == Server_Down; }));
      EXPECT_FALSE(session->IsConnected());
      EXPECT_FALSE(session->tlsVerified());
    }
    session->Stop();
    EXPECT_FALSE(capture.Contains("is not verified"));
    EXPECT_FALSE(capture.Contains("SLL verify certificate"));
    // The server never saw a hello from a client that refused it.
    EXPECT_EQ(received.frames().empty(), !c.rightPin);
  }
}

TEST(SessionConnectTest, WithoutHelloPayloadNoHelloIsSent) {
  Received received;
  FakeServer server = HelloServer(received, [](const WireFrame&) { return HelloAnswer(0x1); });
  auto session = NewSession();
  PointAt(*session, server);
  session->SetHelloPayload(nullptr, 0);
  LogCapture capture;
  session->Start();
  EXPECT_TRUE(session->IsConnected());
  EXPECT_EQ(session->serverState(), (ServerStateValue{Server_Normal, 1}));
  session->Stop();
  const std::vector<WireFrame> frames = received.frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].messageType, kRunningDataType);
  EXPECT_FALSE(capture.Contains("Detected client hostname"));
}

// A session whose socket the test may look at.
class InspectableSession : public SockCommSession {
 public:
  using CommSocketBase::socket;
  using SockCommSession::SockCommSession;
};

TEST(SessionConnectTest, SocketOptions) {
  for (const uint32_t timeoutMs : {0u, 1500u}) {
    SCOPED_TRACE(timeoutMs);
    Received received;
    FakeServer server = HelloServer(received, [](const WireFrame&) { return HelloAnswer(0); });
    auto session = std::make_shared<InspectableSession>("qx.sondrel.comm", nullptr);
    PointAt(*session, server);
    session->SetSocketTimeoutMs(timeoutMs);
    session->Start();
    ASSERT_TRUE(session->IsConnected());
    tcp::no_delay noDelay;
    session->socket().get_option(noDelay);
    EXPECT_TRUE(noDelay.value());
    boost::asio::socket_base::keep_alive keepAlive;
    session->socket().get_option(keepAlive);
    EXPECT_TRUE(keepAlive.value());
    const platform::NativeSocket native = session->socket().native_handle();
    EXPECT_EQ(platform::GetSocketTimeout(native, platform::SocketTimeout::Receive), timeoutMs);
    EXPECT_EQ(platform::GetSocketTimeout(native, platform::SocketTimeout::Send), timeoutMs);
    session->Stop();
  }
}

TEST(SessionConnectTest, HelloNeverAnsweredEndsWithTheSocketTimeout) {
  FakeServer server([](FakeConnection& connection) {
    SessionScript script;
    script.hello = [](const WireFrame&) { return std::optional<WireFrame>(); };
    ServeSession(connection, script);
  });
  auto session = NewSession();
  PointAt(*session, server);
  session->SetSocketTimeoutMs(100);
  LogCapture capture;
  session->SetSyncMode(true);
  EXPECT_EQ(session->Connect(), SockCommSession::kNotConnected);
  session->SetSyncMode(false);
  EXPECT_TRUE(capture.Contains(LoggedAddress(*session) + " Error received from hello response " +
                               "127.0.0.1:" + std::to_string(server.port())));
  EXPECT_FALSE(session->IsConnected());
}

}  // namespace
}  // namespace sondrel::test
