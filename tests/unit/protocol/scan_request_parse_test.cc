// A server's reading of the scan request: payloads packed byte by byte from the protocol's
// table, whole and with each length lying about what follows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/scan_request.h"
#include "support/fake_server/server_frames.h"

namespace sondrel::test {
namespace {

void Append(std::vector<uint8_t>& bytes, const std::vector<uint8_t>& more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
}

// The lengths a request announces and the items it carries; a length may differ from its item.
struct RequestShape {
  std::vector<uint8_t> extra;
  uint32_t extraLength = 0;
  std::string name = std::string("C:\\in\\a.exe", 12);  // with its NUL
  uint32_t nameLength = 12;
  std::vector<uint8_t> initial = {'M', 'Z', 0x90};
  uint32_t initialLength = 3;
  uint32_t optionCount = 1;
  std::vector<uint8_t> options = std::vector<uint8_t>(16, 0x7A);
  std::vector<uint8_t> text = {'t', 0};
  uint32_t textLength = 2;
  bool profileValue = true;
};

std::vector<uint8_t> Pack(const RequestShape& shape) {
  std::vector<uint8_t> p;
  Append(p, Le32(10));                 // action
  Append(p, Le64(0x100000005));        // file size
  Append(p, Le32(shape.extraLength));  // extra length
  Append(p, Le64(0xDEAD));             // extra address, ignored
  p.push_back(1);                      // fingerprint valid
  for (uint8_t i = 0; i < 16; ++i) {
    p.push_back(static_cast<uint8_t>(0xA0 + i));
  }
  p.push_back(1);                              // cache usable
  p.push_back(0);                              // reserved
  Append(p, Le32(static_cast<uint32_t>(-3)));  // process information
  p.push_back(1);                              // clean traces
  Append(p, Le32(shape.nameLength));
  Append(p, Le64(0xFFFFFFFF80001000));  // name address, ignored
  p.push_back(1);                       // strong fingerprint
  Append(p, shape.extra);
  p.insert(p.end(), shape.name.begin(), shape.name.end());
  Append(p, Le64(0));                    // initial buffer: offset
  Append(p, Le32(shape.initialLength));  // requested count
  Append(p, Le64(0xBEEF));               // data address, ignored
  Append(p, Le32(shape.initialLength));  // data length
  Append(p, Le32(0));                    // status
  Append(p, shape.initial);
  for (const int32_t word : {0, 0, 0, 0, 16, 40, -1, 0, 0, 0, 7}) {
    Append(p, Le32(static_cast<uint32_t>(word)));
  }
  Append(p, Le32(shape.optionCount));
  Append(p, shape.options);
  Append(p, Le32(shape.textLength));
  Append(p, shape.text);
  if (shape.profileValue) {
    Append(p, Le32(0x12345678));
  }
  return p;
}

TEST(ScanRequestParseTest, EveryFieldIsReadFromWhereTheTableSays) {
  RequestShape shape;
  shape.extra = {1, 2};
  shape.extraLength = 2;
  const std::vector<uint8_t> payload = Pack(shape);
  const ScanRequestParse parse = ParseScanRequest(payload);
  ASSERT_TRUE(parse.request) << parse.problem;
  const ReceivedScanRequest& r = *parse.request;
  EXPECT_EQ(r.action, 10);
  EXPECT_EQ(r.fileSize, 0x100000005u);
  EXPECT_TRUE(r.fingerprintValid);
  EXPECT_EQ(r.fingerprint[0], 0xA0);
  EXPECT_EQ(r.fingerprint[15], 0xAF);
  EXPECT_TRUE(r.cacheUsable);
  EXPECT_EQ(r.processInfo, -3);
  EXPECT_TRUE(r.cleanTraces);
  EXPECT_TRUE(r.strongFingerprint);
  EXPECT_EQ(std::vector<uint8_t>(r.extra.begin(), r.extra.end()), shape.extra);
  EXPECT_EQ(r.name.size(), 12u);
  EXPECT_EQ(r.NameText(), "C:\\in\\a.exe");
  EXPECT_EQ(r.initialOffset, 0u);
  EXPECT_EQ(std::vector<uint8_t>(r.initialBuffer.begin(), r.initialBuffer.end()), shape.initial);
  EXPECT_EQ(r.sentResultBlock.words[4], 16);
  EXPECT_EQ(r.sentResultBlock.words[10], 7);
  EXPECT_EQ(r.optionEntries.size(), 16u);
  EXPECT_EQ(r.text.size(), 2u);
  EXPECT_EQ(r.profileValue, 0x12345678u);
}

TEST(ScanRequestParseTest, ANameWithoutNulIsTakenWhole) {
  RequestShape shape;
  shape.name = "abc";
  shape.nameLength = 3;
  const std::vector<uint8_t> payload = Pack(shape);
  const ScanRequestParse parse = ParseScanRequest(payload);
  ASSERT_TRUE(parse.request);
  EXPECT_EQ(parse.request->NameText(), "abc");
}

TEST(ScanRequestParseTest, EveryLengthThatReachesPastThePayloadIsRefused) {
  struct Case {
    const char* what;
    RequestShape shape;
  };
  std::vector<Case> cases;
  auto add = [&](const char* what, auto change) {
    RequestShape shape;
    change(shape);
    cases.push_back({what, shape});
  };
  add("extra bytes beyond the payload", [](RequestShape& s) { s.extraLength = 0xFFFFFFFF; });
  add("name beyond the payload", [](RequestShape& s) { s.nameLength = 0xFFFFFFF0; });
  add("initial buffer beyond the payload", [](RequestShape& s) { s.initialLength = 0x7FFFFFFF; });
  add("options beyond the payload", [](RequestShape& s) { s.optionCount = 0x10000001; });
  add("options beyond the payload", [](RequestShape& s) { s.optionCount = 0xFFFFFFFF; });
  add("text beyond the payload", [](RequestShape& s) { s.textLength = 7; });
  add("profile value beyond the payload", [](RequestShape& s) { s.profileValue = false; });
  add("bytes after the profile value", [](RequestShape& s) { s.text.push_back(0); });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ScanRequestParse parse = ParseScanRequest(Pack(c.shape));
    EXPECT_FALSE(parse.request);
    ASSERT_NE(parse.problem, nullptr);
    EXPECT_STREQ(parse.problem, c.what);
  }
}

TEST(ScanRequestParseTest, NoPrefixOfARequestIsARequest) {
  const std::vector<uint8_t> payload = Pack(RequestShape{});
  for (size_t length = 0; length < payload.size(); ++length) {
    SCOPED_TRACE(length);
    const std::span<const uint8_t> prefix(payload.data(), length);
    EXPECT_FALSE(ParseScanRequest(prefix).request);
  }
  EXPECT_TRUE(ParseScanRequest(payload).request);
}

TEST(ScanRequestParseTest, ReadsWhatTheClientWrites) {
  const char name[] = "/srv/in/x";
  const std::vector<uint8_t> initial = {1, 2, 3, 4};
  ScanRequestFields fields;
  fields.fileSize = 4;
  fields.name = name;
  fields.nameLength = sizeof(name);
  fields.initialBuffer = initial;
  fields.profileValue = 99;
  std::vector<uint8_t> payload(*ScanRequestLength(fields));
  WriteScanRequest(payload.data(), fields);
  const ScanRequestParse parse = ParseScanRequest(payload);
  ASSERT_TRUE(parse.request) << parse.problem;
  EXPECT_EQ(parse.request->NameText(), "/srv/in/x");
  EXPECT_EQ(parse.request->initialBuffer.size(), 4u);
  EXPECT_EQ(parse.request->profileValue, 99u);
}

}  // namespace
}  // namespace sondrel::test
