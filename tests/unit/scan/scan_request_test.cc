// The scan request payload against the protocol's table, byte by byte, and the profile value.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/scan_request.h"
#include "scan/profile_value.h"
#include "unit/scan/conversation_test_support.h"

namespace sondrel::test {
namespace {

// Addresses go on the wire sign-extended to 64 bits, as a 32-bit process sends them.
uint64_t WireAddress(const void* address) {
  return static_cast<uint64_t>(reinterpret_cast<intptr_t>(address));
}

TEST(ScanRequestTest, EveryFieldSitsWhereTheTableSays) {
  const char name[] = "C:\\docs\\report.doc";
  const std::vector<uint8_t> initial = {0x4D, 0x5A, 0x90, 0x00, 0x03};
  std::vector<uint8_t> options(2 * 16);
  for (size_t i = 0; i < options.size(); ++i) {
    options[i] = static_cast<uint8_t>(0xC0 + i);
  }
  const std::vector<uint8_t> text = {'p', 'r', 'o', 0};
  ScanRequestFields fields;
  fields.action = 3;
  fields.fileSize = 0x0000000123456789;
  fields.fingerprintValid = true;
  for (size_t i = 0; i < 16; ++i) {
    fields.fingerprint[i] = static_cast<uint8_t>(0xF0 + i);
  }
  fields.cacheUsable = true;
  fields.processInfo = -7;
  fields.cleanTraces = true;
  fields.name = name;
  fields.nameLength = sizeof(name);
  fields.strongFingerprint = true;
  fields.initialBuffer = initial;
  fields.optionEntries = options;
  fields.text = text;
  fields.profileValue = 0xA1B2C3D4;

  const uint32_t n = sizeof(name);
  const uint32_t l = static_cast<uint32_t>(initial.size());
  ASSERT_EQ(ScanRequestLength(fields), 145 + n + l + 32 + 4);
  std::vector<uint8_t> payload(*ScanRequestLength(fields), 0xEE);
  WriteScanRequest(payload.data(), fields);

  std::vector<uint8_t> expected;
  PutU32(expected, 3);
  PutU64(expected, 0x0000000123456789);
  PutU32(expected, 0);
  PutU64(expected, 0);
  expected.push_back(1);
  for (size_t i = 0; i < 16; ++i) {
    expected.push_back(static_cast<uint8_t>(0xF0 + i));
  }
  expected.push_back(1);
  expected.push_back(0);
  PutU32(expected, static_cast<uint32_t>(-7));
  expected.push_back(1);
  PutU32(expected, n);
  PutU64(expected, WireAddress(name));
  expected.push_back(1);
  ASSERT_EQ(expected.size(), 61u);
  expected.insert(expected.end(), name, name + n);
  PutU64(expected, 0);
  PutU32(expected, l);
  PutU64(expected, WireAddress(payload.data() + 61 + n + 28));
  PutU32(expected, l);
  PutU32(expected, 0);
  expected.insert(expected.end(), initial.begin(), initial.end());
  for (const int32_t word : {0, 0, 0, 0, 16, 40, -1, 0, 0, 0, 0}) {
    PutU32(expected, static_cast<uint32_t>(word));
  }
  PutU32(expected, 2);
  expected.insert(expected.end(), options.begin(), options.end());
  PutU32(expected, 4);
  expected.insert(expected.end(), text.begin(), text.end());
  PutU32(expected, 0xA1B2C3D4);
  EXPECT_EQ(payload, expected);
}

TEST(ScanRequestTest, WithoutNameInitialBufferOptionsOrText) {
  ScanRequestFields fields;
  fields.nameLength = 9;  // no name pointer: no name
  ASSERT_EQ(ScanRequestLength(fields), 145u);
  std::vector<uint8_t> payload(145, 0xEE);
  WriteScanRequest(payload.data(), fields);
  EXPECT_EQ(GetU32(payload, 48), 0u);
  EXPECT_EQ(GetU64(payload, 52), 0u);
  // The descriptor of an empty initial buffer has no address.
  EXPECT_EQ(GetU32(payload, 61 + 8), 0u);
  EXPECT_EQ(GetU64(payload, 61 + 12), 0u);
  EXPECT_EQ(GetU32(payload, 61 + 28 + 44), 0u);
  EXPECT_EQ(GetU32(payload, 61 + 28 + 48), 0u);
  EXPECT_EQ(GetU32(payload, 141), 0u);
}

TEST(ScanRequestTest, ProfileValueIsTheCrcRegisterWithoutFinalInversion) {
  std::array<uint8_t, 44> record{};
  record[0] = 3;
  EXPECT_EQ(ProfileValue(record), 0x02A3D145u);
  for (size_t i = 0; i < record.size(); ++i) {
    record[i] = static_cast<uint8_t>(i);
  }
  EXPECT_EQ(ProfileValue(record), 0x41B4A414u);
}

}  // namespace
}  // namespace sondrel::test
