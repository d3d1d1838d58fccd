// The server's requests inside a conversation: file ranges read for it in pieces of at most
// 1 MiB, writes, values and callbacks answered by the host, each on the request's channel.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/device_names.h"
#include "protocol/message_codes.h"
#include "support/log_capture.h"
#include "unit/scan/conversation_test_support.h"

namespace sondrel::test {
namespace {

constexpr uint32_t kMiB = 1024 * 1024;
constexpr uint32_t kReadRequest = 101;
constexpr uint32_t kReadAnswer = 102;

// The address a server writes into its records: its own, never used by the client.
constexpr uint64_t kServerAddress = 0x1122334455667788;

std::vector<uint8_t> Descriptor(uint64_t offset, uint32_t count, uint32_t dataLength = 0,
                                int32_t status = 0, uint64_t address = 0) {
  std::vector<uint8_t> bytes;
  PutU64(bytes, offset);
  PutU32(bytes, count);
  PutU64(bytes, address);
  PutU32(bytes, dataLength);
  PutU32(bytes, static_cast<uint32_t>(status));
  return bytes;
}

struct Piece {
  uint32_t kind;
  uint64_t offset;
  uint32_t dataLength;
  int32_t status;
  friend bool operator==(const Piece&, const Piece&) = default;
};

std::ostream& operator<<(std::ostream& out, const Piece& piece) {
  return out << "{kind " << piece.kind << ", offset " << piece.offset << ", length "
             << piece.dataLength << ", status " << piece.status << "}";
}

// Checks every answer piece against the file and returns what the pieces said. Pieces with data
// are sent in the buffer the data was read into.
std::vector<Piece> ReadAnswers(const ConversationFixture& fixture, uint32_t requested,
                               bool inReadBuffers = true) {
  std::vector<Piece> pieces;
  for (const SentReply& reply : fixture.client.replies) {
    EXPECT_EQ(reply.type, kReadAnswer);
    EXPECT_EQ(reply.channel, 5);
    EXPECT_EQ(reply.requestKey, &fixture.context);
    EXPECT_EQ(reply.callerKeepsPayload, !inReadBuffers);
    const Piece piece{reply.kind, GetU64(reply.payload, 0), GetU32(reply.payload, 20),
                      static_cast<int32_t>(GetU32(reply.payload, 24))};
    EXPECT_EQ(GetU32(reply.payload, 8), requested);
    EXPECT_EQ(reply.payload.size(), 28u + piece.dataLength);
    const std::vector<uint8_t> data(reply.payload.begin() + 28, reply.payload.end());
    EXPECT_TRUE(data == fixture.host.Bytes(piece.offset, piece.dataLength)) << piece;
    pieces.push_back(piece);
  }
  return pieces;
}

TEST(ConversationReadTest, RangesAreAnsweredInPiecesOfAtMostOneMiB) {
  constexpr uint64_t k5GiB = 5ull << 30;
  struct Case {
    const char* name;
    uint64_t fileSize;
    uint64_t offset;
    uint32_t count;
    int failedRead;  // index of a read that fails with 5, -1 for none
    std::vector<Piece> pieces;
    std::vector<FileRange> reads;
  };
  const Case cases[] = {
      {"exactly 1 MiB", 2 * kMiB, 0, kMiB, -1, {{2, 0, kMiB, 0}}, {{0, kMiB}}},
      {"3 MiB",
       4 * kMiB,
       100,
       3 * kMiB,
       -1,
       {{3, 100, kMiB, 234}, {3, 100 + kMiB, kMiB, 234}, {2, 100 + 2 * kMiB, kMiB, 0}},
       {{100, kMiB}, {100 + kMiB, kMiB}, {100 + 2 * kMiB, kMiB}}},
      {"a failed read ends with what was read and its status",
       4 * kMiB,
       0,
       3 * kMiB,
       1,
       {{2, 0, kMiB, 5}},
       {{0, kMiB}, {kMiB, kMiB}}},
      {"a failed single read", 4 * kMiB, 0, 4096, 0, {{2, 0, 0, 5}}, {{0, 4096}}},
      {"the end of the file", 3000, 1000, 4096, -1, {{2, 1000, 2000, 0}}, {{1000, 4096}}},
      {"ends exactly at a piece",
       2 * kMiB,
       0,
       3 * kMiB,
       -1,
       {{3, 0, kMiB, 234}, {2, kMiB, kMiB, 0}},
       {{0, kMiB}, {kMiB, kMiB}, {2 * kMiB, kMiB}}},
      {"a huge count costs what the file has",
       kMiB + 10,
       0,
       0xFFFFFFFF,
       -1,
       {{3, 0, kMiB, 234}, {2, kMiB, 10, 0}},
       {{0, kMiB}, {kMiB, kMiB}}},
      {"nothing asked", 100, 0, 0, -1, {{2, 0, 0, 0}}, {{0, 0}}},
      {"offsets beyond 4 GiB keep their high word",
       k5GiB,
       k5GiB - kMiB - 5,
       2 * kMiB,
       -1,
       {{3, k5GiB - kMiB - 5, kMiB, 234}, {2, k5GiB - 5, 5, 0}},
       {{k5GiB - kMiB - 5, kMiB}, {k5GiB - 5, kMiB}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ConversationFixture fixture(c.fileSize);
    if (c.failedRead >= 0) {
      fixture.host.FailRead(static_cast<size_t>(c.failedRead), 5);
    }
    fixture.Handle(ServerRecord(kReadRequest, MessageKind::ConversationRequest,
                                Descriptor(c.offset, c.count, 0, 0, kServerAddress)));
    EXPECT_EQ(ReadAnswers(fixture, c.count), c.pieces);
    EXPECT_EQ(fixture.host.reads(), c.reads);
    EXPECT_EQ(fixture.client.buffersOutstanding, 0);
  }
}

TEST(ConversationReadTest, AFailedReadIsLoggedWithItsRange) {
  ConversationFixture fixture(8 * kMiB);
  fixture.host.FailRead(0, 5);
  LogCapture capture;
  fixture.Handle(ServerRecord(kReadRequest, MessageKind::ConversationRequest,
                              Descriptor((7ull << 32) + 9, 4096)));
  EXPECT_TRUE(capture.Contains("Error reading buffer of 4096 bytes at the offset 7,9"));
}

TEST(ConversationReadTest, RequestsThatDoNotArriveWholeAreAnsweredWithoutReading) {
  for (const uint32_t kind : {MessageKind::ConversationRequest, MessageKind::OneWay}) {
    ConversationFixture fixture;
    std::vector<uint8_t> shortDescriptor = Descriptor(0, 100);
    shortDescriptor.resize(27);
    fixture.Handle(ServerRecord(kReadRequest, kind, shortDescriptor));
    EXPECT_TRUE(fixture.host.reads().empty());
    if (kind == MessageKind::ConversationRequest) {
      ASSERT_EQ(fixture.client.replies.size(), 1u);
      EXPECT_EQ(ReadAnswers(fixture, 0, false), (std::vector<Piece>{{2, 0, 0, 13}}));
    } else {
      EXPECT_TRUE(fixture.client.replies.empty());
    }
  }
}

// The host functions of a disinfection, recording what they were given.
struct HostRecorder {
  std::vector<uint8_t> written;
  HostFileRange writeRange{};
  uint32_t valueLow = 0;
  uint32_t valueHigh = 0;
  std::vector<uint8_t> callbackData;
  uint32_t callbackCapacity = 0;
  int32_t callbackAnswer = 3;
  // How many bytes of the buffer the callback fills with 'A' (at most the capacity).
  uint32_t callbackWrites = 8;
};
HostRecorder* recorder = nullptr;

void InstallRecorder(ConversationFixture& fixture, HostRecorder& host) {
  recorder = &host;
  HostCallbacks& callbacks = fixture.host.callbacks();
  callbacks.write = [](const void* source, const HostFileRange* range, uint32_t* written, void*) {
    const auto* bytes = static_cast<const uint8_t*>(source);
    recorder->written.assign(bytes, bytes + range->count);
    recorder->writeRange = *range;
    *written = range->count - 1;
    return int32_t{7};
  };
  callbacks.value = [](uint32_t low, uint32_t high, void*) {
    recorder->valueLow = low;
    recorder->valueHigh = high;
    return int32_t{-2};
  };
  callbacks.callback = [](uint64_t buffer, uint32_t dataLength, uint32_t capacity, void*) {
    auto* bytes = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(buffer));
    recorder->callbackData.assign(bytes, bytes + dataLength);
    recorder->callbackCapacity = capacity;
    std::memset(bytes, 'A', std::min(capacity, recorder->callbackWrites));
    return recorder->callbackAnswer;
  };
}

TEST(ConversationHostRequestsTest, WriteRequestsReachTheHostOnlyWithAllTheirData) {
  ConversationFixture fixture;
  HostRecorder host;
  InstallRecorder(fixture, host);
  std::vector<uint8_t> request = Descriptor(0x100000002, 0, 6, 0, kServerAddress);
  request.insert(request.end(), {1, 2, 3, 4, 5, 6});
  fixture.Handle(ServerRecord(108, MessageKind::ConversationRequest, request));
  std::vector<uint8_t> truncated = Descriptor(0, 0, 7, 0, kServerAddress);
  truncated.insert(truncated.end(), {1, 2, 3});
  fixture.Handle(ServerRecord(108, MessageKind::ConversationRequest, truncated));

  EXPECT_EQ(host.written, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(host.writeRange.offset, 0x100000002u);
  ASSERT_EQ(fixture.client.replies.size(), 2u);
  for (const SentReply& reply : fixture.client.replies) {
    EXPECT_EQ(reply.type, 109u);
    EXPECT_EQ(reply.kind, MessageKind::ConversationRequest);
    EXPECT_TRUE(reply.callerKeepsPayload);
  }
  // Offset, bytes written, no data, the host's result; the truncated one never reached it.
  EXPECT_EQ(fixture.client.replies[0].payload, Descriptor(0x100000002, 5, 0, 7));
  EXPECT_EQ(fixture.client.replies[1].payload, Descriptor(0, 0, 0, 13));
}

TEST(ConversationHostRequestsTest, ValueRequestsAreAnsweredWithTheSignExtendedResult) {
  ConversationFixture fixture;
  HostRecorder host;
  InstallRecorder(fixture, host);
  std::vector<uint8_t> value;
  PutU64(value, 0x0000000900000004);
  fixture.Handle(ServerRecord(110, MessageKind::ConversationRequest, value));
  EXPECT_EQ(host.valueLow, 4u);
  EXPECT_EQ(host.valueHigh, 9u);
  ASSERT_EQ(fixture.client.replies.size(), 1u);
  EXPECT_EQ(fixture.client.replies[0].type, 110u);
  EXPECT_EQ(GetU64(fixture.client.replies[0].payload, 0), 0xFFFFFFFFFFFFFFFEu);
  EXPECT_EQ(fixture.client.replies[0].payload.size(), 8u);
}

std::vector<uint8_t> CallbackPayload(const std::vector<uint8_t>& data, uint32_t capacity,
                                     uint32_t announced) {
  std::vector<uint8_t> payload;
  PutU64(payload, 0xDEAD);
  PutU32(payload, announced);
  PutU32(payload, capacity);
  payload.insert(payload.end(), data.begin(), data.end());
  return payload;
}

TEST(ConversationHostRequestsTest, CallbacksAreAnsweredWithinTheirCapacity) {
  const std::vector<uint8_t> data = {9, 8, 7, 6, 5};
  struct Case {
    const char* name;
    uint32_t capacity;
    uint32_t announced;
    int32_t hostAnswer;
    bool hostCalled;
    uint32_t answerLength;
  };
  const Case cases[] = {
      {"answered", 16, 5, 3, true, 3},
      {"an answer longer than the capacity is cut", 6, 5, 50, true, 6},
      {"a negative answer is empty", 16, 5, -1, true, 0},
      {"no capacity", 0, 5, 3, false, 0},
      {"capacity below the data", 4, 5, 3, false, 0},
      {"data announced beyond the payload", 16, 6, 3, false, 0},
      {"more room than an answer may take", 1024 * 1024 + 1, 5, 3, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ConversationFixture fixture;
    HostRecorder host;
    host.callbackAnswer = c.hostAnswer;
    InstallRecorder(fixture, host);
    fixture.Handle(
        ServerRecord(111, MessageKind::OneWay, CallbackPayload(data, c.capacity, c.announced)));
    EXPECT_EQ(!host.callbackData.empty(), c.hostCalled);
    if (c.hostCalled) {
      EXPECT_EQ(host.callbackData, data);
      EXPECT_EQ(host.callbackCapacity, c.capacity);
    }
    ASSERT_EQ(fixture.client.replies.size(), 1u);
    const SentReply& reply = fixture.client.replies[0];
    EXPECT_EQ(reply.type, 111u);
    EXPECT_EQ(reply.kind, MessageKind::ConversationRequest);
    EXPECT_FALSE(reply.callerKeepsPayload);
    EXPECT_EQ(GetU32(reply.payload, 8), c.answerLength);
    EXPECT_EQ(reply.payload.size(), 16u + c.answerLength);
    EXPECT_EQ(std::vector<uint8_t>(reply.payload.begin() + 16, reply.payload.end()),
              std::vector<uint8_t>(c.answerLength, 'A'));
    EXPECT_EQ(fixture.client.buffersOutstanding, 0);
  }
}

TEST(ConversationHostRequestsTest, AnAnswerLongerThanWhatTheHostWroteCarriesNoStaleMemory) {
  // The host claims more than the capacity and writes nothing: the answer is the capacity's
  // worth of the buffer, which holds the request's data and zeros after it.
  const std::vector<uint8_t> data = {9, 8, 7, 6, 5};
  ConversationFixture fixture;
  HostRecorder host;
  host.callbackAnswer = 1000;
  host.callbackWrites = 0;
  InstallRecorder(fixture, host);
  fixture.Handle(ServerRecord(111, MessageKind::ConversationRequest, CallbackPayload(data, 64, 5)));
  ASSERT_EQ(fixture.client.replies.size(), 1u);
  const std::vector<uint8_t>& payload = fixture.client.replies[0].payload;
  ASSERT_EQ(payload.size(), 16u + 64u);
  std::vector<uint8_t> expected = data;
  expected.resize(64, 0);
  EXPECT_EQ(std::vector<uint8_t>(payload.begin() + 16, payload.end()), expected);
}

TEST(ConversationHostRequestsTest, ACapacityAboveTheBoundIsLogged) {
  test::LogCapture capture;
  ConversationFixture fixture;
  HostRecorder host;
  InstallRecorder(fixture, host);
  fixture.Handle(ServerRecord(111, MessageKind::ConversationRequest,
                              CallbackPayload({1, 2}, 1024 * 1024 + 1, 2)));
  EXPECT_TRUE(host.callbackData.empty());
  EXPECT_EQ(capture.Count("Callback request refused: capacity 1048577 is above 1048576"), 1u);
}

// A scan-from-AM record: identifier 1901, its value, the list header and the list of paths.
std::vector<uint8_t> ScanFromAm(const std::vector<std::string>& paths, uint32_t listSizeExtra = 0) {
  std::vector<uint8_t> list;
  for (const std::string& path : paths) {
    list.insert(list.end(), path.begin(), path.end());
    list.push_back(0);
  }
  std::vector<uint8_t> data;
  PutU32(data, 0);
  PutU32(data, 1901);
  PutU32(data, 44);
  PutU32(data, 11);                                                  // header word 0
  PutU32(data, 24);                                                  // list offset from the header
  PutU32(data, static_cast<uint32_t>(list.size()) + listSizeExtra);  // list size
  PutU32(data, 33);
  PutU32(data, 34);
  PutU32(data, 0);  // padding up to the list
  data.insert(data.end(), list.begin(), list.end());
  return data;
}

class DriveC : public platform::DeviceNameResolver {
 public:
  std::optional<std::wstring> QueryDosDevice(const std::wstring& drive) const override {
    if (drive == L"C:") {
      return L"\\Device\\HarddiskVolume2";
    }
    return std::nullopt;
  }
};

TEST(ConversationHostRequestsTest, ScanFromAmListsExcludeEachPathFromOneLaterScan) {
  const auto previous = platform::SetDeviceNameResolver(std::make_shared<DriveC>());
  ConversationFixture fixture;
  HostRecorder host;
  InstallRecorder(fixture, host);
  LogCapture capture;
  const std::vector<uint8_t> data = ScanFromAm({"C:\\dir\\a.exe", "/srv/b.bin"});
  fixture.Handle(ServerRecord(111, MessageKind::ConversationRequest,
                              CallbackPayload(data, 512, static_cast<uint32_t>(data.size()))));
  EXPECT_TRUE(capture.Contains("CBK_ID_SCAN_FROM_AM: 44"));
  EXPECT_TRUE(capture.Contains("cbk_am_scan: 24\t24\t33\t34"));
  EXPECT_TRUE(capture.Contains("cbk_am_scan: C:\\dir\\a.exe"));
  EXPECT_EQ(host.callbackData, data);

  EXPECT_TRUE(fixture.exclusions.Take("\\Device\\HarddiskVolume2\\dir\\a.exe"));
  EXPECT_FALSE(fixture.exclusions.Take("C:\\dir\\a.exe"));
  EXPECT_TRUE(fixture.exclusions.Take("/srv/b.bin"));
  EXPECT_TRUE(fixture.exclusions.empty());

  // A list that reaches past the data excludes nothing; the host still gets the callback.
  const std::vector<uint8_t> overlong = ScanFromAm({"C:\\x"}, 1);
  fixture.Handle(
      ServerRecord(111, MessageKind::ConversationRequest,
                   CallbackPayload(overlong, 512, static_cast<uint32_t>(overlong.size()))));
  EXPECT_TRUE(fixture.exclusions.empty());
  EXPECT_EQ(host.callbackData, overlong);
  platform::SetDeviceNameResolver(previous);
}

}  // namespace
}  // namespace sondrel::test
