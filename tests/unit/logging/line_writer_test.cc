#include "logging/line_writer.h"

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>

#include "logging/log.h"
#include "platform/file_system.h"
#include "test_environment.h"

namespace sondrel {
namespace {

using boost::posix_time::ptime;
using boost::posix_time::time_from_string;
using test::ReadFile;
using test::TestLoggingEnvironment;

struct LineCase {
  const char* level;
  const char* time;
  uint32_t thread;
  const char* category;
  const char* expected;
};

TEST(FormatLogLineTest, ExactLayout) {
  const LineCase cases[] = {
      {"WARN", "2016-05-03 14:05:09.123456", 0x1a2b, "qx.sondrel.comm",
       "WARN  2016-May-03 14:05:09.123456 [00001a2b] [qx.sondrel.comm     ] - msg\n"},
      {"INFO", "2016-05-03 14:05:09.000000", 7, "qx.sondrel.slots",
       "INFO  2016-May-03 14:05:09 [00000007] [qx.sondrel.slots    ] - msg\n"},
      {"ERROR", "2026-12-10 08:00:00.000001", 0xdeadbeef, "qx.sondrel.scan.manager",
       "ERROR 2026-Dec-10 08:00:00.000001 [deadbeef] [qx.sondrel.scan.mana] - msg\n"},
      {"TRACE", "2026-01-02 03:04:05.5", 0, "",
       "TRACE 2026-Jan-02 03:04:05.500000 [00000000] [                    ] - msg\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatLogLine(c.level, time_from_string(c.time), c.thread, c.category, "msg"),
              c.expected);
  }
}

class RollOverTest : public testing::Test {
 protected:
  void Make(const std::string& suffix) { env_.dir.Write("k.log" + suffix, "was k.log" + suffix); }
  std::string Content(const std::string& suffix) {
    const auto path = env_.dir.path() / ("k.log" + suffix);
    return platform::FileExists(path.wstring()) ? ReadFile(path) : "(none)";
  }
  void Roll(int32_t maxBackupIndex) {
    LoggerSettings s;
    s.filePath = env_.Path(L"k.log");
    s.MaxBackupIndex = maxBackupIndex;
    RollOver(s);
  }

  TestLoggingEnvironment env_;
};

TEST_F(RollOverTest, ThreeBackupsKeepTwo) {
  Make("");
  Roll(3);
  EXPECT_EQ(Content(""), "(none)");
  EXPECT_EQ(Content(".1"), "was k.log");
  Make("");
  Make(".1");
  Roll(3);
  EXPECT_EQ(Content(".1"), "was k.log");
  EXPECT_EQ(Content(".2"), "was k.log.1");
  Make("");
  Make(".1");
  Make(".2");
  Roll(3);  // base.2 is deleted first, then everything moves up one
  EXPECT_EQ(Content(""), "(none)");
  EXPECT_EQ(Content(".1"), "was k.log");
  EXPECT_EQ(Content(".2"), "was k.log.1");
  EXPECT_EQ(Content(".3"), "(none)");
}

TEST_F(RollOverTest, OneBackupOrNone) {
  for (const int32_t index : {1, 0}) {
    Make("");
    Make(".1");
    Roll(index);
    EXPECT_EQ(Content(""), "(none)");
    EXPECT_EQ(Content(".1"), "was k.log");
    EXPECT_EQ(Content(".2"), "(none)");
  }
}

// A logger whose configuration in the test directory writes to `file`.
class WriterTest : public testing::Test {
 protected:
  LoggerPtr Configure(const std::string& file, int maxFileSize, int maxBackupIndex,
                      const std::string& reload = "") {
    env_.dir.Write("pellan-logger-cl.xml",
                   "<r>" + reload +
                       "<category name=\"qx\"><priority value=\"info\"/>"
                       "<appender-ref ref=\"f\"/></category><appender name=\"f\">"
                       "<param name=\"file\" value=\"" +
                       file +
                       "\"/>"
                       "<param name=\"MaxFileSize\" value=\"" +
                       std::to_string(maxFileSize) +
                       "\"/>"
                       "<param name=\"MaxBackupIndex\" value=\"" +
                       std::to_string(maxBackupIndex) + "\"/></appender></r>");
    return std::make_shared<Logger>("qx.sondrel.comm", env_.Get());
  }
  std::string LogFile() { return (env_.dir.path() / "out.log").string(); }
  std::string Content(const std::string& suffix) {
    const auto path = env_.dir.path() / ("out.log" + suffix);
    return platform::FileExists(path.wstring()) ? ReadFile(path) : "(none)";
  }

  TestLoggingEnvironment env_;
};

TEST_F(WriterTest, MaxFileSizeZeroRollsAfterEveryLine) {
  const LoggerPtr logger = Configure(LogFile(), 0, 3);
  for (const char* text : {"one", "two", "three"}) {
    LOG_INFO(logger, text);
  }
  EXPECT_EQ(Content(""), "(none)");
  EXPECT_NE(Content(".1").find("] - three\n"), std::string::npos);
  EXPECT_NE(Content(".2").find("] - two\n"), std::string::npos);
  EXPECT_EQ(Content(".3"), "(none)");
}

TEST_F(WriterTest, TheLineThatReachesTheLimitIsWrittenBeforeTheRoll) {
  const LoggerPtr logger = Configure(LogFile(), 1, 3);
  const std::string half(600 * 1024, 'x');
  LOG_INFO(logger, "first " << half);
  EXPECT_NE(Content(""), "(none)");
  LOG_INFO(logger, "second " << half);
  EXPECT_EQ(Content(""), "(none)");
  const std::string rolled = Content(".1");
  EXPECT_NE(rolled.find("first "), std::string::npos);
  EXPECT_NE(rolled.find("second "), std::string::npos);
  LOG_INFO(logger, "third");
  EXPECT_NE(Content("").find("] - third\n"), std::string::npos);
}

TEST_F(WriterTest, UnwritableLocationSilencesTheLoggerUntilAReload) {
  env_.dir.Write("blocker", "a file where a directory should be");
  const std::string unwritable = (env_.dir.path() / "blocker" / "out.log").string();
  const LoggerPtr logger =
      Configure(unwritable, 10, 5, "<reloadsettings seconds=\"1\" enabled=\"1\"/>");
  EXPECT_EQ(logger->level(), kLevelInfo);
  LOG_ERROR(logger, "cannot be written");
  EXPECT_EQ(logger->level(), kLevelNone);
  LOG_FATAL(logger, "still silent");

  Configure(LogFile(), 10, 5, "<reloadsettings seconds=\"1\" enabled=\"1\"/>");
  env_.Advance(6);
  LOG_DEBUG(logger, "the suppressed statement runs the reload check");
  EXPECT_EQ(logger->level(), kLevelInfo);
  LOG_INFO(logger, "back");
  EXPECT_NE(Content("").find("] - back\n"), std::string::npos);
}

}  // namespace
}  // namespace sondrel
