// The socket base against the fake scan server, over plain TCP and over TLS.
#include "comm/comm_socket_base.h"

#include <gtest/gtest.h>
#include <openssl/x509_vfy.h>

#include <boost/asio/post.hpp>
#include <boost/asio/ssl/context.hpp>
#include <future>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "comm/send_message.h"
#include "protocol/message_builder.h"
#include "protocol/received_message.h"
#include "protocol/wire_limits.h"
#include "support/fake_server/fake_server.h"
#include "support/fake_server/wire_frame.h"
#include "support/log_capture.h"
#include "unit/comm/io_thread.h"
#include "unit/comm/recording_socket.h"

namespace sondrel::test {
namespace {

enum class Transport { Plain, Tls };

void PrintTo(Transport transport, std::ostream* out) {
  *out << (transport == Transport::Tls ? "TLS" : "plain TCP");
}

std::vector<uint8_t> PayloadOf(const CommMessagePtr& record) {
  const std::span<const uint8_t> payload = ReceivedMessage(*record).payload();
  return {payload.begin(), payload.end()};
}

// A frame header with the given lengths and no body behind it.
std::vector<uint8_t> HeaderOnly(uint32_t bodyLength, uint32_t compressed = 0,
                                uint32_t compressedLength = 0, uint32_t commVersion = 2) {
  WireFrame frame;
  frame.bodyLength = bodyLength;
  frame.compressed = compressed;
  frame.compressedLength = compressedLength;
  frame.commVersion = commVersion;
  return PackFrameHeader(frame);
}

WireFrame CorruptStreamFrame() {
  WireFrame frame = PlainFrame(101, 2, {1, 2, 3, 4, 5, 6, 7, 8});
  frame.compressed = 1;
  frame.compressedLength = 8;
  frame.payloadLength = 100;
  return frame;
}

WireFrame ShortExpansionFrame() {
  WireFrame frame = CompressedFrame(101, 2, {0xAA, 0xBB, 0xCC});
  frame.payloadLength = 8;
  return frame;
}

WireFrame OversizedPayloadFrame() {
  WireFrame frame = CompressedFrame(101, 2, {1, 2, 3});
  frame.payloadLength = kMaxDecompressedPayloadLength + 1;
  return frame;
}

// Keeps the I/O thread busy until the returned promise is set, so that work queued meanwhile
// runs afterwards in one go.
std::promise<void> HoldIoThread(boost::asio::io_context& io) {
  std::promise<void> gate;
  boost::asio::post(io, [opened = gate.get_future().share()] { opened.wait(); });
  return gate;
}

class SocketTestBase {
 protected:
  FakeServerOptions ServerOptions() const {
    FakeServerOptions options;
    options.tls = tls_;
    return options;
  }
  std::shared_ptr<RecordingSocket> NewSocket() {
    return std::make_shared<RecordingSocket>(io_.io());
  }
  // A socket connected to the server; the read loop runs when `read` is set.
  std::shared_ptr<RecordingSocket> Connected(const FakeServer& server, bool read = true) {
    auto socket = NewSocket();
    EXPECT_TRUE(socket->Connect(server.endpoint(), tls_ ? &clientTls_ : nullptr));
    if (read) {
      socket->StartReading();
    }
    return socket;
  }
  // A socket that never connected, with a TLS stream when the transport is TLS.
  std::shared_ptr<RecordingSocket> Unconnected() {
    auto socket = NewSocket();
    if (tls_) {
      socket->attach_tls(true, &clientTls_);
    }
    return socket;
  }

  // The server sends `bytes` and waits for the client to end the connection. Checks what every
  // input that must end a connection leads to: the client closes it, reports exactly one read
  // error, processes nothing and logs `logged` followed by its address.
  std::shared_ptr<RecordingSocket> ExpectConnectionEnded(const std::vector<uint8_t>& bytes,
                                                         const std::string& logged) {
    bool closedByClient = false;
    FakeServer server(
        [&](FakeConnection& connection) {
          connection.SendRaw(bytes);
          closedByClient = connection.WaitForClose();
        },
        ServerOptions());
    LogCapture capture;
    auto socket = Connected(server);
    EXPECT_TRUE(socket->WaitForReadErrors(1));
    EXPECT_TRUE(server.WaitForScripts());
    EXPECT_TRUE(closedByClient);
    EXPECT_TRUE(capture.Contains(logged + socket->LoggedAddress())) << logged;
    EXPECT_TRUE(socket->closed());
    EXPECT_EQ(socket->readErrors().size(), 1u);
    EXPECT_TRUE(socket->messages().empty());
    return socket;
  }

  bool tls_ = false;
  boost::asio::ssl::context clientTls_{boost::asio::ssl::context::tls_client};
  IoThread io_;
};

class CommSocketTest : public SocketTestBase, public testing::TestWithParam<Transport> {
 protected:
  CommSocketTest() { tls_ = GetParam() == Transport::Tls; }
};

class PlainSocketTest : public SocketTestBase, public testing::Test {};

class TlsSocketTest : public SocketTestBase, public testing::Test {
 protected:
  TlsSocketTest() { tls_ = true; }
};

TEST_P(CommSocketTest, QueuedMessagesAreWrittenInOrder) {
  std::mutex mutex;
  std::vector<WireFrame> received;
  FakeServer server(
      [&](FakeConnection& connection) {
        while (auto frame = connection.ReadFrame()) {
          std::lock_guard<std::mutex> lock(mutex);
          received.push_back(*frame);
        }
      },
      ServerOptions());
  auto socket = Connected(server, false);
  std::string first = "first";
  std::string second = "the second message";

  // Both are queued before the first write can complete.
  std::promise<void> gate = HoldIoThread(io_.io());
  EXPECT_EQ(send_message(*socket, 1, 3, 0, 100, 0, first.data(), 5, true, 1, 1000), 0);
  EXPECT_EQ(send_message(*socket, 2, 3, 0, 102, 2, second.data(), 18, true, 2, 1000), 0);
  gate.set_value();

  ASSERT_TRUE(socket->WaitForBytesSent(73 + 86));
  socket->close();
  ASSERT_TRUE(server.WaitForScripts());
  std::lock_guard<std::mutex> lock(mutex);
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].requestSeq, 1u);
  EXPECT_EQ(received[0].payload, std::vector<uint8_t>(first.begin(), first.end()));
  EXPECT_EQ(received[1].requestSeq, 2u);
  EXPECT_EQ(received[1].messageKind, 2u);
  EXPECT_EQ(received[1].payload, std::vector<uint8_t>(second.begin(), second.end()));
  EXPECT_EQ(socket->bytesSent(), 73u + 86u);
  EXPECT_TRUE(socket->writeErrors().empty());
}

TEST_P(CommSocketTest, FrameWithoutBodyIsSkipped) {
  FakeServer server(
      [](FakeConnection& connection) {
        connection.SendRaw(HeaderOnly(0));
        connection.Send(PlainFrame(104, 1, {1, 2, 3, 4}));
        connection.WaitForClose();
      },
      ServerOptions());
  auto socket = Connected(server);
  ASSERT_TRUE(socket->WaitForMessages(1));
  EXPECT_EQ(socket->bytesReceived(), 20u + 20u + 52u);
  const std::vector<CommMessagePtr> messages = socket->messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(ReceivedMessage(*messages[0]).messageType(), 104u);
  EXPECT_EQ(PayloadOf(messages[0]), (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST_P(CommSocketTest, WrongVersionClosesTheConnection) {
  for (const uint32_t version : {1u, 3u}) {
    SCOPED_TRACE(version);
    WireFrame frame = PlainFrame(104, 1, {1, 2, 3, 4});
    frame.commVersion = version;
    auto socket = ExpectConnectionEnded(
        PackFrame(frame), "handle_read_header - different communication versions!!! " +
                              std::to_string(version) + " vs 2 Client will be disconnected. ");
    EXPECT_EQ(socket->bytesReceived(), 0u);
  }
}

TEST_P(CommSocketTest, UnreasonableLengthsCloseTheConnectionBeforeTheBody) {
  struct Case {
    uint32_t bodyLength;
    uint32_t compressed;
    uint32_t compressedLength;
    std::string problem;
  };
  const Case cases[] = {
      {0xFFFFFFFF, 0, 0, "body longer than the largest frame accepted"},
      {kMaxFrameBodyLength + 1, 0, 0, "body longer than the largest frame accepted"},
      {47, 0, 0, "body shorter than a message header and trailer"},
      {1, 0, 0, "body shorter than a message header and trailer"},
      {60, 1, 13, "compressed length beyond the body"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bodyLength);
    // Only the header is sent: a client that went on to read the body would wait for ever.
    auto socket = ExpectConnectionEnded(
        HeaderOnly(c.bodyLength, c.compressed, c.compressedLength),
        "handle_read_header - frame refused: " + c.problem + ", bodyLength " +
            std::to_string(c.bodyLength) + ", compressedLength " +
            std::to_string(c.compressedLength) + ". Client will be disconnected. ");
    EXPECT_EQ(socket->bytesReceived(), 20u);
  }
}

TEST_P(CommSocketTest, UndecodableMessageClosesTheConnection) {
  const WireFrame corrupt = CorruptStreamFrame();
  ExpectConnectionEnded(PackFrame(corrupt),
                        "handle_read_body - fail to uncompress message!!! len=0 must be 100 "
                        "compressed len 8 ");
  ExpectConnectionEnded(PackFrame(OversizedPayloadFrame()),
                        "handle_read_body - refused message: announced payload longer than the "
                        "largest accepted, payloadLength " +
                            std::to_string(kMaxDecompressedPayloadLength + 1) +
                            ". Client will be disconnected. ");
}

TEST_P(CommSocketTest, CompressedMessageThatExpandsShortIsDeliveredWithAZeroTail) {
  FakeServer server(
      [](FakeConnection& connection) {
        connection.Send(ShortExpansionFrame());
        connection.Send(PlainFrame(105, 3, {7}));
        connection.WaitForClose();
      },
      ServerOptions());
  LogCapture capture;
  auto socket = Connected(server);
  ASSERT_TRUE(socket->WaitForMessages(2));
  const std::vector<CommMessagePtr> messages = socket->messages();
  ASSERT_EQ(messages[0]->size(), 56u);
  EXPECT_EQ(PayloadOf(messages[0]), (std::vector<uint8_t>{0xAA, 0xBB, 0xCC, 0, 0, 0, 0, 0}));
  EXPECT_EQ(ReceivedMessage(*messages[0]).messageType(), 101u);
  EXPECT_EQ(ReceivedMessage(*messages[1]).messageType(), 105u);
  EXPECT_TRUE(capture.Contains("decompressed len != expected len 3 8 " + socket->LoggedAddress()));
  EXPECT_TRUE(socket->readErrors().empty());
}

TEST_P(CommSocketTest, FailedWritesDoNotStopTheQueue) {
  LogCapture capture;
  auto socket = Unconnected();
  std::vector<std::weak_ptr<CommMessage>> queued;
  std::promise<void> gate = HoldIoThread(io_.io());
  for (uint32_t i = 0; i < 3; ++i) {
    CommMessagePtr message = BuildMessage({.requestSeq = i}, nullptr, 0, true, {});
    queued.push_back(message);
    EXPECT_EQ(socket->write_message(std::move(message)), 0);
  }
  gate.set_value();

  ASSERT_TRUE(socket->WaitForWriteErrors(3));
  EXPECT_EQ(capture.Count("handle_write - error "), 3u);
  EXPECT_EQ(socket->bytesSent(), 0u);
  for (const auto& message : queued) {
    EXPECT_TRUE(message.expired());
  }
}

TEST_P(CommSocketTest, SynchronousWriteReturnsTheSocketError) {
  LogCapture capture;
  auto socket = Unconnected();
  socket->SetSyncMode(true);
  std::string payload = "hello";
  EXPECT_EQ(send_message(*socket, 0, 0, 0, 0xF0000001, 0, payload.data(), 5, true, 0, -1),
            kSendFailed);
  const int error = socket->write_message(BuildMessage({}, nullptr, 0, true, {}));
  EXPECT_NE(error, 0);
  EXPECT_EQ(capture.Count("Error writing to the socket "), 2u);
  EXPECT_TRUE(capture.Contains("Error writing to the socket " + std::to_string(error) + " "));
  EXPECT_TRUE(capture.Contains(" " + socket->LoggedAddress()));
  // Nothing was queued: whatever a queued write would have posted has run after two passes of
  // the I/O thread, and no write completed.
  for (int pass = 0; pass < 2; ++pass) {
    std::promise<void> passed;
    boost::asio::post(io_.io(), [&passed] { passed.set_value(); });
    passed.get_future().wait();
  }
  EXPECT_TRUE(socket->writeErrors().empty());
  EXPECT_EQ(socket->bytesSent(), 0u);
}

TEST_P(CommSocketTest, SynchronousExchange) {
  FakeServer server(
      [](FakeConnection& connection) {
        auto hello = connection.ReadFrame();
        ASSERT_TRUE(hello.has_value());
        EXPECT_EQ(hello->messageType, 0xF0000001u);
        WireFrame answer = CompressedFrame(0xF0000001, 1, std::vector<uint8_t>(300, 0x0E));
        answer.serverStatus = 2;
        connection.Send(answer);
        connection.WaitForClose();
      },
      ServerOptions());
  auto socket = Connected(server, false);
  socket->SetSyncMode(true);
  std::string payload = "hello";
  ASSERT_EQ(send_message(*socket, 0, 0, 0, 0xF0000001, 0, payload.data(), 5, true, 0, -1), 0);
  CommMessagePtr answer;
  ASSERT_EQ(socket->Receive(answer), 0);
  ASSERT_NE(answer, nullptr);
  const ReceivedMessage message(*answer);
  EXPECT_EQ(message.messageType(), 0xF0000001u);
  EXPECT_EQ(message.serverStatus(), 2u);
  EXPECT_EQ(PayloadOf(answer), std::vector<uint8_t>(300, 0x0E));
  // The synchronous path leaves the traffic counters alone.
  EXPECT_EQ(socket->bytesSent(), 0u);
  EXPECT_EQ(socket->bytesReceived(), 0u);
}

TEST_P(CommSocketTest, SecondCloseOnlyLogs) {
  bool closedByClient = false;
  FakeServer server([&](FakeConnection& connection) { closedByClient = connection.WaitForClose(); },
                    ServerOptions());
  LogCapture capture;
  auto socket = Connected(server, false);
  socket->close();
  socket->close();
  ASSERT_TRUE(server.WaitForScripts());
  EXPECT_TRUE(closedByClient);
  EXPECT_EQ(capture.Count("Not calling again do_close()"), 1u);
}

INSTANTIATE_TEST_SUITE_P(Transports, CommSocketTest,
                         testing::Values(Transport::Plain, Transport::Tls),
                         [](const testing::TestParamInfo<Transport>& param) {
                           return param.param == Transport::Tls ? "Tls" : "Plain";
                         });

TEST_F(PlainSocketTest, SynchronousReceiveResults) {
  struct Case {
    std::string name;
    std::vector<std::vector<uint8_t>> sent;
    int expected;
    std::string logged;
  };
  WireFrame cutShort = PlainFrame(104, 1, std::vector<uint8_t>(52, 1));
  std::vector<uint8_t> cutShortBytes = PackFrame(cutShort);
  cutShortBytes.resize(20 + 30);
  const Case cases[] = {
      {"version",
       {HeaderOnly(48, 0, 0, 3)},
       CommSocketBase::kReceiveBadFrame,
       " Receive - different communication versions!!! 3 vs 2 Client will be disconnected."},
      {"too long",
       {HeaderOnly(0xFFFFFFFF)},
       CommSocketBase::kReceiveBadFrame,
       " Receive - frame refused: body longer than the largest frame accepted"},
      {"corrupt",
       {PackFrame(CorruptStreamFrame())},
       CommSocketBase::kReceiveBadPayload,
       " Receive - failed to uncompress -3"},
      {"oversized",
       {PackFrame(OversizedPayloadFrame())},
       CommSocketBase::kReceiveBadPayload,
       " Receive - refused message: announced payload longer than the largest accepted"},
      {"cut short",
       {cutShortBytes},
       CommSocketBase::kReceiveFailed,
       " Receive read less than expected 30 vs 100"},
      {"nothing", {}, CommSocketBase::kReceiveFailed, " Error Receiving message "},
      {"skips empty frames", {HeaderOnly(0), PackFrame(PlainFrame(104, 1, {}))}, 0, ""},
      {"short expansion",
       {PackFrame(ShortExpansionFrame())},
       0,
       " uncompressed len unexpected 3 vs 8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeServer server([&](FakeConnection& connection) {
      for (const auto& bytes : c.sent) {
        connection.SendRaw(bytes);
      }
      connection.Close();
    });
    LogCapture capture;
    auto socket = Connected(server, false);
    socket->SetSyncMode(true);
    CommMessagePtr message;
    EXPECT_EQ(socket->Receive(message), c.expected);
    EXPECT_EQ(message != nullptr, c.expected == 0);
    if (!c.logged.empty()) {
      EXPECT_TRUE(capture.Contains(socket->LoggedAddress() + c.logged));
    }
  }
}

TEST_F(PlainSocketTest, TrafficLineShowsBothCounters) {
  FakeServer server([](FakeConnection& connection) {
    connection.ReadFrame();
    connection.Send(PlainFrame(104, 1, {1, 2, 3, 4}));
    connection.WaitForClose();
  });
  auto socket = Connected(server);
  std::string payload = "12345";
  ASSERT_EQ(send_message(*socket, 0, 0, 0, 100, 0, payload.data(), 5, true, 1, 100), 0);
  ASSERT_TRUE(socket->WaitForMessages(1));
  ASSERT_TRUE(socket->WaitForBytesSent(73));
  LogCapture capture;
  socket->log_traffic();
  EXPECT_TRUE(capture.Contains("TRAFFIC: Sent - 73, Received - 72 " + socket->LoggedAddress()));
}

TEST_F(PlainSocketTest, TlsIsAttachedOnlyWithAContext) {
  auto socket = NewSocket();
  socket->attach_tls(true, nullptr);
  EXPECT_FALSE(socket->useTls());
  EXPECT_EQ(socket->tlsStream(), nullptr);
  socket->attach_tls(true, &clientTls_);
  EXPECT_TRUE(socket->useTls());
  EXPECT_NE(socket->tlsStream(), nullptr);
  socket->attach_tls(false, &clientTls_);
  EXPECT_FALSE(socket->useTls());
  EXPECT_EQ(socket->tlsStream(), nullptr);
}

TEST_F(TlsSocketTest, CertificateProblemsAreLoggedUnlessTheSubjectIsTrusted) {
  const std::string warning = std::string("SLL verify certificate: ") +
                              X509_verify_cert_error_string(X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT);
  for (const auto& [commonName, logged] :
       {std::pair<std::string, bool>{"sondrel fake server", true},
        {"Quorvex scan server", false}}) {
    SCOPED_TRACE(commonName);
    FakeServerOptions options = ServerOptions();
    options.certificateCommonName = commonName;
    FakeServer server([](FakeConnection& connection) { connection.WaitForClose(); }, options);
    LogCapture capture;
    auto socket = Connected(server, false);
    EXPECT_TRUE(socket->tlsStream() != nullptr);
    EXPECT_EQ(capture.Contains(warning), logged);
    socket->close();
  }
}

TEST_F(TlsSocketTest, ClosingDoesNotWaitForTheServersCloseNotify) {
  // The server never reads again; a close that waited for its close_notify would hang here.
  FakeServer server([](FakeConnection& connection) { connection.Sleep(60000); }, ServerOptions());
  LogCapture capture;
  auto socket = Connected(server, false);
  socket->close();
  EXPECT_TRUE(socket->closed());
  EXPECT_FALSE(capture.Contains("Exception on do_close."));
}

}  // namespace
}  // namespace sondrel::test
