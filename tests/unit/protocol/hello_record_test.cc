#include "protocol/hello_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace sondrel {
namespace {

TEST(HelloRecordTest, ClientRecordCarriesVersionsAndABoundedEngineVersion) {
  struct Case {
    std::string engine;
    std::string written;
  };
  const std::string longest(31, 'e');
  const Case cases[] = {
      {"", ""},
      {"7.1.42", "7.1.42"},
      {longest, longest},
      {longest + "tail", longest},
      {std::string("7.1\0junk", 8), "7.1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.engine.size());
    const std::vector<uint8_t> record = hello::MakeRecord(c.engine);
    ASSERT_EQ(record.size(), 292u);
    std::vector<uint8_t> expected(292, 0);
    expected[0] = 3;
    expected[2] = 3;
    std::copy(c.written.begin(), c.written.end(), expected.begin() + 5);
    EXPECT_EQ(record, expected);
  }
}

TEST(HelloRecordTest, HostNameIsCopiedBoundedAndZeroFilled) {
  struct Case {
    std::string name;
    std::string written;
  };
  const std::string longest(254, 'h');
  const Case cases[] = {
      {"scanner-7", "scanner-7"},
      {"", ""},
      {longest, longest},
      {longest + "tail", longest},
      {std::string("cut\0here", 8), "cut"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.size());
    // A record whose host name field still holds an older, longer name.
    std::vector<uint8_t> record(hello::kRecordSize, 0xEE);
    EXPECT_EQ(hello::CopyHostName(record, c.name), c.written);
    const std::string field(record.begin() + 37, record.begin() + 37 + 254);
    EXPECT_EQ(field, c.written + std::string(254 - c.written.size(), '\0'));
    EXPECT_EQ(record[36], 0xEE);
    EXPECT_EQ(record[291], 0xEE);
  }
}

TEST(HelloRecordTest, FlagsAreThePayloadsFirstWord) {
  EXPECT_EQ(hello::AnswerFlags(std::vector<uint8_t>{0x0E, 0, 0, 0, 9}), 0x0Eu);
  EXPECT_EQ(hello::AnswerFlags(std::vector<uint8_t>{0x01, 0x02, 0x03, 0x04}), 0x04030201u);
  EXPECT_EQ(hello::AnswerFlags(std::vector<uint8_t>{}), 0u);
  EXPECT_EQ(hello::AnswerFlags(std::vector<uint8_t>{0x01, 0x01, 0x01}), 0u);
}

}  // namespace
}  // namespace sondrel
