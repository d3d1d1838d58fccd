// The records a scan server writes and the client's answers it reads, against bytes packed by
// hand from the protocol's tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/buffer_descriptor.h"
#include "protocol/hello_record.h"
#include "protocol/host_requests.h"
#include "protocol/running_data.h"
#include "protocol/scan_results.h"
#include "protocol/session_records.h"
#include "protocol/slot_records.h"
#include "support/fake_server/server_frames.h"

namespace sondrel::test {
namespace {

template <typename Bytes>
std::vector<uint8_t> V(const Bytes& bytes) {
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> bytes;
  for (const auto& part : parts) {
    bytes.insert(bytes.end(), part.begin(), part.end());
  }
  return bytes;
}

std::vector<uint8_t> Text(const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

TEST(ServerRecordsTest, ReadRequestIsARangeInADescriptor) {
  EXPECT_EQ(V(MakeReadRequest(0x100000002, 4096)),
            Cat({Le64(0x100000002), Le32(4096), Le64(0), Le32(0), Le32(0)}));
}

TEST(ServerRecordsTest, DetectionReportCarriesItsTextsAfterTheFixedPart) {
  DetectionReport report;
  report.verdict = 0x20;
  report.objectName = "a.exe";
  report.fileName = "/in/a.exe";
  report.threatName = std::string("Eicar\0junk", 10);
  report.outByte = 1;
  const std::vector<uint8_t> expected =
      Cat({Le32(0), Le32(0), Le32(0x20), Le32(0), Le32(0),  // flags, words, verdict
           Le64(72), Le32(1),                               // text 1: empty
           Le64(73), Le32(6),                               // text 2
           Le64(79), Le32(10),                              // text 3
           Le64(89), Le32(6),                               // text 4, cut at its NUL
           Le32(1), Text(""), Text("a.exe"), Text("/in/a.exe"), Text("Eicar")});
  const std::vector<uint8_t> payload = MakeDetectionReport(report);
  EXPECT_EQ(payload, expected);
  const auto read = ParseDetectionReport(payload);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->threatName, "Eicar");
  EXPECT_EQ(read->fileName, "/in/a.exe");
  EXPECT_TRUE(read->detection());
}

TEST(ServerRecordsTest, FinalAnswerIsComplete) {
  ResultBlock block;
  block.words[10] = -2;
  std::vector<uint8_t> expected = Le32(static_cast<uint32_t>(-5));
  for (const int32_t word : {0, 0, 0, 0, 16, 40, -1, 0, 0, 0, -2}) {
    expected = Cat({expected, Le32(static_cast<uint32_t>(word))});
  }
  expected = Cat({expected, Le32(0xCAFE), {1}});
  EXPECT_EQ(V(MakeFinalAnswer(-5, block, 0xCAFE, 1)), expected);
}

TEST(ServerRecordsTest, SmallRecordsByTheirTables) {
  EXPECT_EQ(V(MakeServerCacheAnswer(0xA1B2C3D4)), Le32(0xA1B2C3D4));
  EXPECT_EQ(ParseServerCacheAnswer(Le32(7)), 7u);
  EXPECT_FALSE(ParseServerCacheAnswer(Cat({Le32(7), {0}})));
  EXPECT_FALSE(ParseServerCacheAnswer({}));
  EXPECT_EQ(V(MakeDisinfectFlags(3)), Le32(3));
  EXPECT_EQ(MakeDataNotification(std::vector<uint8_t>{9, 8}), Cat({Le32(2), Le64(12), {9, 8}}));
  EXPECT_EQ(V(MakeValueRequest({0x11, 0x22})), Cat({Le32(0x11), Le32(0x22)}));
  EXPECT_EQ(V(MakeValueAnswer(-2)), Le64(0xFFFFFFFFFFFFFFFE));
  EXPECT_EQ(ParseValueAnswer(Le64(0xFFFFFFFFFFFFFFFE)), -2);
  EXPECT_FALSE(ParseValueAnswer(Le32(1)));
  EXPECT_EQ(MakeCallbackRequest(std::vector<uint8_t>{5}, 64),
            Cat({Le64(16), Le32(1), Le32(64), {5}}));
  EXPECT_EQ(MakeWriteRequest(10, std::vector<uint8_t>{7, 7}),
            Cat({Le64(10), Le32(2), Le64(28), Le32(2), Le32(0), {7, 7}}));
  EXPECT_EQ(V(MakeErrorCode(1234)), Le32(1234));
  EXPECT_EQ(ErrorCodeOf(Le32(6)), 6u);
  EXPECT_FALSE(ErrorCodeOf(Le64(6)));
  EXPECT_EQ(V(MakePing(0x0102030405060708)), Le64(0x0102030405060708));
  EXPECT_EQ(PingTimestamp(Le64(42)), 42u);
  EXPECT_FALSE(PingTimestamp(Le32(42)));
}

TEST(ServerRecordsTest, ReadAnswerPiecesMustCarryAllTheirData) {
  const std::vector<uint8_t> piece =
      Cat({Le64(1 << 20), Le32(3 << 20), Le64(0), Le32(3), Le32(234), {1, 2, 3}});
  const auto read = ParseReadAnswer(piece);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->descriptor.offset, 1u << 20);
  EXPECT_EQ(read->descriptor.requestedCount, 3u << 20);
  EXPECT_EQ(read->descriptor.status, kMorePiecesFollow);
  EXPECT_EQ(read->data.size(), 3u);
  // One byte short, and a length that wraps.
  EXPECT_FALSE(ParseReadAnswer(std::span(piece).first(piece.size() - 1)));
  EXPECT_FALSE(ParseReadAnswer(Cat({Le64(0), Le32(0), Le64(0), Le32(0xFFFFFFFF), Le32(0)})));
  EXPECT_FALSE(ParseReadAnswer(Le64(0)));
  const auto answer = ParseWriteAnswer(Cat({Le64(4), Le32(2), Le64(0), Le32(0), Le32(5)}));
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->requestedCount, 2u);
  EXPECT_EQ(answer->status, 5);
}

TEST(ServerRecordsTest, RunningDataRecord) {
  running_data::RunningData data;
  for (uint8_t i = 0; i < 16; ++i) {
    data.id[i] = i;
  }
  data.versionMajor = 3;
  data.versionMinor = 1;
  std::vector<uint8_t> expected = Le32(24);
  expected = Cat({expected, V(data.id), Le16(3), Le16(1)});
  EXPECT_EQ(V(running_data::MakeRecord(data)), expected);
  EXPECT_EQ(V(running_data::MakeRequest()), Le32(4));
  const auto read = running_data::ParseRecord(expected);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->id, data.id);
  expected[0] = 20;
  EXPECT_FALSE(running_data::ParseRecord(expected));
}

TEST(ServerRecordsTest, HelloAsAServerReadsItAndItsAnswers) {
  std::vector<uint8_t> hello(292, 0);
  hello[0] = 3;
  hello[2] = 3;
  const std::string engine = "1.4.6";
  std::copy(engine.begin(), engine.end(), hello.begin() + 5);
  std::fill(hello.begin() + 37, hello.end(), 'h');  // a host name without its NUL
  auto read = hello::ParseHello(hello);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->versionMajor, 3);
  EXPECT_EQ(read->versionMinor, 3);
  EXPECT_EQ(read->engineVersion, "1.4.6");
  EXPECT_EQ(read->hostName, std::string(255, 'h'));
  EXPECT_FALSE(read->timestamp);
  const std::vector<uint8_t> synchronous = Cat({hello, Le64(0x1122334455667788)});
  read = hello::ParseHello(synchronous);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->timestamp, 0x1122334455667788u);
  EXPECT_FALSE(hello::ParseHello(std::span(hello).first(291)));

  EXPECT_EQ(hello::MakeAnswer(0x6, std::nullopt), Le32(0x6));
  const std::vector<uint8_t> echoing = hello::MakeAnswer(0x2, 0x1122334455667788);
  ASSERT_EQ(echoing.size(), 299u);
  EXPECT_EQ(std::vector<uint8_t>(echoing.begin(), echoing.begin() + 4), Le32(0x2));
  EXPECT_EQ(std::vector<uint8_t>(echoing.begin() + 291, echoing.end()), Le64(0x1122334455667788));
  EXPECT_EQ(std::count(echoing.begin() + 4, echoing.begin() + 291, 0), 287);
}

TEST(ServerRecordsTest, SlotRequestsAsAServerReadsThem) {
  EXPECT_EQ(ParseAllocation(Cat({Le32(8), Le32(1)})), true);
  EXPECT_EQ(ParseAllocation(Cat({Le32(8), Le32(2)})), false);
  EXPECT_FALSE(ParseAllocation(Cat({Le32(9), Le32(1)})));
  EXPECT_FALSE(ParseAllocation(Le32(8)));
  SlotBytes slot{};
  slot[0] = 0xAB;
  slot[15] = 0xCD;
  const std::vector<uint8_t> payload = Cat({Le32(20), V(slot)});
  EXPECT_EQ(V(SlotPayload(slot)), payload);
  EXPECT_EQ(ParseSlotPayload(payload), slot);
  EXPECT_FALSE(ParseSlotPayload(std::span(payload).first(19)));
  EXPECT_FALSE(ParseSlotPayload(Cat({Le32(24), V(slot)})));
}

}  // namespace
}  // namespace sondrel::test
