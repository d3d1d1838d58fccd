// What the real server does with clients that misbehave, sent by a hand-framed client: scan
// requests whose lengths lie, read answers that do not answer what was asked, frames out of
// bounds, clients that trickle, go silent, disconnect mid-scan or never answer, and a thousand
// idle connections. Each case ends in the right answer or a closed connection, and the server's
// resident memory (VmRSS from /proc/PID/status) stays bounded.
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <thread>

#include "platform/child_process.h"
#include "server/server_fixture.h"

namespace sondrel::test {
namespace {

constexpr uint32_t kPing = 0xF0000002;

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  }
  return bytes;
}

class BadInputTest : public ServerTest {
 protected:
  // The server still serves: a ping on a new connection is echoed.
  void ExpectServing() {
    auto client = Connect();
    ASSERT_TRUE(client->Send(PlainFrame(kPing, 3, {1, 2, 3, 4, 5, 6, 7, 8})));
    EXPECT_TRUE(client->ReadFrameOfType(kPing)) << "the server no longer answers";
  }

  // The final answer to the request on the client's connection.
  static std::optional<WireFrame> FinalAnswer(HandClient& client, int timeoutMs = 5000) {
    return client.ReadFrameOfType(104, timeoutMs);
  }
};

TEST_F(BadInputTest, ScanRequestsWhoseLengthsLieAreAnsweredAsBadRequests) {
  Start();
  const std::vector<uint8_t> initial = Pattern(100);
  struct Case {
    const char* what;
    std::function<void(HandScanRequest&)> lie;
  };
  const Case cases[] = {
      {"extra length beyond the payload", [](HandScanRequest& s) { s.extraLength = 5000; }},
      {"extra length of 4 GiB", [](HandScanRequest& s) { s.extraLength = 0xFFFFFFFF; }},
      {"name length beyond the payload", [](HandScanRequest& s) { s.nameLength = 100000; }},
      {"name length of 4 GiB", [](HandScanRequest& s) { s.nameLength = 0xFFFFFFF0; }},
      {"initial buffer longer than sent", [](HandScanRequest& s) { s.initialLength = 101; }},
      {"initial buffer of 4 GiB", [](HandScanRequest& s) { s.initialLength = 0xFFFFFFFF; }},
      {"initial buffer beyond the file", [](HandScanRequest& s) { s.fileSize = 50; }},
      {"option count beyond the payload", [](HandScanRequest& s) { s.optionCount = 3; }},
      {"option count overflowing 32 bits", [](HandScanRequest& s) { s.optionCount = 0x10000001; }},
      {"text length beyond the payload", [](HandScanRequest& s) { s.textLength = 64; }},
      {"text length of 4 GiB", [](HandScanRequest& s) { s.textLength = 0xFFFFFFFF; }},
      {"bytes after the profile value",
       [](HandScanRequest& s) {
         s.trailing = {1, 2, 3};
       }},
  };
  auto client = Connect();
  uint32_t seq = 0;
  for (const Case& c : cases) {
    HandScanRequest fields;
    fields.fileSize = 1000;
    fields.initialBuffer = initial;
    fields.options = std::vector<uint8_t>(32, 0x7A);
    fields.text = "host text";
    c.lie(fields);
    ASSERT_TRUE(client->Send(ScanRequestFrame(fields, 3, ++seq)));
    const auto answer = FinalAnswer(*client);
    ASSERT_TRUE(answer) << c.what;
    EXPECT_EQ(FinalStatusOf(*answer), 1002) << c.what;
    EXPECT_EQ(answer->requestSeq, seq) << c.what;
    EXPECT_EQ(answer->channelIndex, 3) << c.what;
  }
  for (const size_t cut : {0, 10, 60, 61, 100}) {
    HandScanRequest fields;
    fields.fileSize = 1000;
    std::vector<uint8_t> payload = ScanRequestPayload(fields);
    payload.resize(cut);
    ASSERT_TRUE(client->Send(PlainFrame(100, 0, payload)));
    const auto answer = FinalAnswer(*client);
    ASSERT_TRUE(answer) << "cut at " << cut;
    EXPECT_EQ(FinalStatusOf(*answer), 1002) << "cut at " << cut;
  }
  // The same connection still scans a well-formed request.
  HandScanRequest good;
  good.fileSize = initial.size();
  good.initialBuffer = initial;
  ASSERT_TRUE(client->Send(ScanRequestFrame(good, 3, ++seq)));
  const auto answer = FinalAnswer(*client);
  ASSERT_TRUE(answer);
  EXPECT_EQ(FinalStatusOf(*answer), 0);
  EXPECT_EQ(answer->payload.size(), 53u);
}

TEST_F(BadInputTest, ReadAnswersThatDoNotAnswerTheRequestEndTheScanUnanswered) {
  Start();
  const std::vector<uint8_t> file = Pattern(100000);
  struct Case {
    const char* what;
    // Answers the read request for [0, 100000) on the client; the expected final status, or
    // nothing when the connection is to be closed.
    std::function<void(HandClient&, const WireFrame&)> answer;
    std::optional<int32_t> status;
  };
  const std::span<const uint8_t> all(file);
  const Case cases[] = {
      {"the right answer",
       [&](HandClient& c, const WireFrame& r) {
         c.Send(ReadAnswerFrame(r, 2, ReadAnswerPayload(0, 100000, all, 0)));
       },
       0},
      {"in two pieces",
       [&](HandClient& c, const WireFrame& r) {
         c.Send(ReadAnswerFrame(r, 3, ReadAnswerPayload(0, 100000, all.first(60000), 234)));
         c.Send(ReadAnswerFrame(r, 2, ReadAnswerPayload(60000, 100000, all.subspan(60000), 0)));
       },
       0},
      {"a wrong offset",
       [&](HandClient& c, const WireFrame& r) {
         c.Send(ReadAnswerFrame(r, 2, ReadAnswerPayload(1, 100000, all, 0)));
       },
       1006},
      {"a second piece at a wrong offset",
       [&](HandClient& c, const WireFrame& r) {
         c.Send(ReadAnswerFrame(r, 3, ReadAnswerPayload(0, 100000, all.first(60000), 234)));
         c.Send(ReadAnswerFrame(r, 2, ReadAnswerPayload(0, 100000, all.subspan(60000), 0)));
       },
       1006},
      {"a wrong requested count",
       [&](HandClient& c, const WireFrame& r) {
         c.Send(ReadAnswerFrame(r, 2, ReadAnswerPayload(0, 99999, all, 0)));
       },
       1006},
      {"bytes beyond the range asked",
       [&](HandClient& c, const WireFrame& r) {
         std::vector<uint8_t> more = file;
         more.push_back(0);
         c.Send(ReadAnswerFrame(r, 2, ReadAnswerPayload(0, 100000, more, 0)));
       },
       1006},
      {"pieces that add up past the range",
       [&](HandClient& c, const WireFrame& r) {
         c.Send(ReadAnswerFrame(r, 3, ReadAnswerPayload(0, 100000, all.first(60000), 234)));
         c.Send(ReadAnswerFrame(r, 2, ReadAnswerPayload(60000, 100000, all.first(60000), 0)));
       },
       1006},
      {"bytes after the data",
       [&](HandClient& c, const WireFrame& r) {
         std::vector<uint8_t> payload = ReadAnswerPayload(0, 100000, all.first(1000), 0);
         payload.push_back(9);
         c.Send(ReadAnswerFrame(r, 2, payload));
       },
       1006},
      {"a chunk without the more-follows status",
       [&](HandClient& c, const WireFrame& r) {
         c.Send(ReadAnswerFrame(r, 3, ReadAnswerPayload(0, 100000, all.first(100), 0)));
       },
       1006},
      {"a read answer of kind 1",
       [&](HandClient& c, const WireFrame& r) {
         c.Send(ReadAnswerFrame(r, 1, ReadAnswerPayload(0, 100000, all, 0)));
       },
       1006},
      {"a failed read",
       [&](HandClient& c, const WireFrame& r) {
         c.Send(ReadAnswerFrame(r, 2, ReadAnswerPayload(0, 100000, all.first(10), 30)));
       },
       1004},
      {"a short read",
       [&](HandClient& c, const WireFrame& r) {
         c.Send(ReadAnswerFrame(r, 2, ReadAnswerPayload(0, 100000, all.first(50000), 0)));
       },
       1004},
      {"a data length beyond the payload",
       [&](HandClient& c, const WireFrame& r) {
         c.Send(ReadAnswerFrame(r, 2, ReadAnswerPayload(0, 100000, all.first(10), 0, 100000)));
       },
       std::nullopt},
      {"a descriptor cut short",
       [&](HandClient& c, const WireFrame& r) {
         c.Send(ReadAnswerFrame(r, 2, std::vector<uint8_t>(20, 0)));
       },
       std::nullopt},
  };
  const auto before = server_->ResidentKib();
  for (const Case& c : cases) {
    auto client = Connect();
    HandScanRequest fields;
    fields.fileSize = file.size();
    ASSERT_TRUE(client->Send(ScanRequestFrame(fields)));
    const auto request = client->ReadFrameOfType(101);
    ASSERT_TRUE(request) << c.what;
    EXPECT_EQ(request->messageKind, 2u);
    EXPECT_EQ(RangeOf(*request).offset, 0u);
    EXPECT_EQ(RangeOf(*request).count, 100000u);
    EXPECT_NE(request->conversationId, 0u);
    c.answer(*client, *request);
    if (c.status) {
      const auto answer = FinalAnswer(*client);
      ASSERT_TRUE(answer) << c.what;
      EXPECT_EQ(FinalStatusOf(*answer), *c.status) << c.what;
      EXPECT_EQ(answer->conversationId, request->conversationId) << c.what;
    } else {
      EXPECT_TRUE(client->WaitClosed()) << c.what;
    }
  }
  // A piece for a conversation that is not running is refused, and nothing else happens.
  auto client = Connect();
  WireFrame stray = ReadAnswerFrame(WireFrame{}, 2, ReadAnswerPayload(0, 10, all.first(10), 0));
  stray.conversationId = 0xDEAD;
  ASSERT_TRUE(client->Send(stray));
  const auto refused = client->ReadFrameOfType(0);
  ASSERT_TRUE(refused);
  EXPECT_EQ(FirstWordOf(*refused), 1101u);
  ExpectServing();
  const auto after = server_->ResidentKib();
  ASSERT_TRUE(before && after);
  std::cout << "server RSS before " << *before << " KiB, after " << *after << " KiB\n";
  EXPECT_LT(*after, *before + 32 * 1024);
}

TEST_F(BadInputTest, AClientThatNeverAnswersIsTimedOutAndOneThatLeavesIsForgotten) {
  Start();
  auto silent = Connect();
  HandScanRequest fields;
  fields.fileSize = 100000;
  ASSERT_TRUE(silent->Send(ScanRequestFrame(fields, 0, 1, 1500)));
  ASSERT_TRUE(silent->ReadFrameOfType(101));
  const auto started = std::chrono::steady_clock::now();
  const auto answer = FinalAnswer(*silent, 4000);
  ASSERT_TRUE(answer);
  EXPECT_EQ(FinalStatusOf(*answer), 1005);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1600))
      << "answered before the client stops waiting";
  // The answer that comes too late is refused, and the connection goes on.
  const auto late = silent->ReadFrame(100);
  EXPECT_FALSE(late);

  auto leaving = Connect();
  ASSERT_TRUE(leaving->Send(ScanRequestFrame(fields, 0, 1, 60000)));
  ASSERT_TRUE(leaving->ReadFrameOfType(101));
  leaving->Close();
  EXPECT_TRUE(server_->WaitForLog("outcome=abandoned"));
  EXPECT_TRUE(server_->WaitForLog("outcome=timed-out"));
  // Nothing runs or waits any more.
  for (int i = 0; i < 100 && server_->Metric("sondrel_scans_running") != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(server_->Metric("sondrel_scans_running"), 0);
  EXPECT_EQ(server_->Metric("sondrel_queue_depth"), 0);
  ExpectServing();
}

TEST_F(BadInputTest, FramesOutOfBoundsCloseTheConnection) {
  Start({"--max-frame", "64K"});
  struct Case {
    const char* what;
    std::function<WireFrame()> frame;
  };
  const Case cases[] = {
      {"a body above the limit",
       [] {
         WireFrame f = PlainFrame(100, 0, {});
         f.bodyLength = 64 * 1024 + 1;
         return f;
       }},
      {"a body of 4 GiB",
       [] {
         WireFrame f = PlainFrame(100, 0, {});
         f.bodyLength = 0xFFFFFFFF;
         return f;
       }},
      {"a body shorter than the headers",
       [] {
         WireFrame f = PlainFrame(100, 0, {});
         f.bodyLength = 20;
         return f;
       }},
      {"communication version 3",
       [] {
         WireFrame f = PlainFrame(0xF0000002, 3, std::vector<uint8_t>(8, 1));
         f.commVersion = 3;
         return f;
       }},
      {"a compressed length beyond the body",
       [] {
         WireFrame f = CompressedFrame(0xF0000002, 3, std::vector<uint8_t>(64, 1));
         f.compressedLength = 1000;
         return f;
       }},
      {"a compressed payload announcing 1 GiB",
       [] {
         WireFrame f = CompressedFrame(0xF0000002, 3, std::vector<uint8_t>(64, 1));
         f.payloadLength = 1u << 30;
         return f;
       }},
      {"a payload that does not decompress",
       [] {
         WireFrame f = CompressedFrame(0xF0000002, 3, std::vector<uint8_t>(64, 1));
         f.payload[2] ^= 0xFF;
         f.payload[3] ^= 0xFF;
         return f;
       }},
  };
  for (const Case& c : cases) {
    auto client = Connect();
    const std::vector<uint8_t> bytes = PackFrame(c.frame());
    client->SendRaw(bytes);
    EXPECT_TRUE(client->WaitClosed(2000)) << c.what;
  }
  // A compressed frame within the bounds is read as any other.
  auto client = Connect();
  ASSERT_TRUE(client->Send(CompressedFrame(kPing, 3, std::vector<uint8_t>(64, 1))));
  const auto echo = client->ReadFrameOfType(kPing);
  ASSERT_TRUE(echo);
  EXPECT_EQ(echo->payload, std::vector<uint8_t>(8, 1));
  ExpectServing();
}

TEST_F(BadInputTest, TricklingAndSilentClientsAreClosed) {
  Start({"--idle-timeout", "1.5", "--frame-timeout", "0.8"});
  auto trickling = Connect();
  const std::vector<uint8_t> frame = PackFrame(PlainFrame(kPing, 3, std::vector<uint8_t>(8, 1)));
  const auto started = std::chrono::steady_clock::now();
  size_t sent = 0;
  for (; sent < frame.size(); ++sent) {
    if (!trickling->SendRaw(std::span<const uint8_t>(frame).subspan(sent, 1))) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (std::chrono::steady_clock::now() - started > std::chrono::seconds(3)) {
      break;
    }
  }
  EXPECT_TRUE(trickling->WaitClosed(2000));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2500));
  EXPECT_LT(sent, frame.size()) << "closed before the trickled frame was complete";

  auto silent = Connect();
  const auto connected = std::chrono::steady_clock::now();
  EXPECT_TRUE(silent->WaitClosed(3000));
  const auto idle = std::chrono::steady_clock::now() - connected;
  EXPECT_GE(idle, std::chrono::milliseconds(1400));
  EXPECT_LT(idle, std::chrono::milliseconds(2500));
  ExpectServing();
}

TEST_F(BadInputTest, AClientThatDoesNotReadIsClosed) {
  Start({"--write-queue", "64K", "--frame-timeout", "1"});
  auto client = Connect();
  std::vector<uint8_t> batch;
  for (int i = 0; i < 1000; ++i) {
    const std::vector<uint8_t> ping = PackFrame(PlainFrame(kPing, 3, std::vector<uint8_t>(8, 1)));
    batch.insert(batch.end(), ping.begin(), ping.end());
  }
  // Pings whose answers are never read, until the server gives up on the connection. Each send
  // may wait long: a slow server (a sanitized build) takes a while to fill its queue, and a
  // client that gave up first would close the connection itself.
  const auto started = std::chrono::steady_clock::now();
  while (client->SendRaw(batch, 20000) &&
         std::chrono::steady_clock::now() - started < std::chrono::seconds(40)) {
  }
  EXPECT_TRUE(server_->WaitForLog("the client does not"));
  EXPECT_GE(server_->Metric("sondrel_connections_closed_for_cause_total"), 1);
  ExpectServing();
}

TEST_F(BadInputTest, AThousandIdleConnectionsAreHeldWithinBoundedMemory) {
  const uint64_t limit = platform::RaiseOpenFileLimit();
  const size_t count = limit > 1100 ? 1000 : (limit > 100 ? limit - 100 : 0);
  if (count < 1000) {
    GTEST_SKIP() << "the open-file limit (" << limit << ") does not allow 1000 connections";
  }
  Start({"--idle-timeout", "30"});
  const auto before = server_->ResidentKib();
  boost::asio::io_context io;
  std::vector<boost::asio::ip::tcp::socket> sockets;
  const boost::asio::ip::tcp::endpoint endpoint(boost::asio::ip::make_address("127.0.0.1"),
                                                server_->port());
  for (size_t i = 0; i < count; ++i) {
    sockets.emplace_back(io);
    boost::system::error_code error;
    sockets.back().connect(endpoint, error);
    ASSERT_FALSE(error) << "connection " << i << ": " << error.message();
  }
  ExpectServing();
  for (int i = 0; i < 100 && server_->Metric("sondrel_sessions") < static_cast<double>(count);
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_GE(server_->Metric("sondrel_sessions"), static_cast<double>(count));
  const auto during = server_->ResidentKib();
  sockets.clear();
  ExpectServing();
  ASSERT_TRUE(before && during);
  std::cout << "server RSS idle " << *before << " KiB, with " << count << " connections " << *during
            << " KiB\n";
  EXPECT_LT(*during, *before + 64 * 1024) << "less than 64 KiB a connection";
}

}  // namespace
}  // namespace sondrel::test
