#include "logging/logger.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "logging/log.h"
#include "test_environment.h"

namespace sondrel {
namespace {

using test::ReadFile;
using test::TestLoggingEnvironment;

// Streaming this object fails the test: it proves that a suppressed statement builds no text.
struct MustNotBeFormatted {};
std::ostream& operator<<(std::ostream& out, const MustNotBeFormatted&) {
  ADD_FAILURE() << "a suppressed statement built its text";
  return out;
}

class LoggerTest : public testing::Test {
 protected:
  LoggerPtr Make(const std::string& level, const std::string& reload = "") {
    env_.dir.Write("pellan-logger-cl.xml",
                   "<r>" + reload + "<category name=\"qx\"><priority value=\"" + level +
                       "\"/><appender-ref ref=\"f\"/></category><appender name=\"f\">"
                       "<param name=\"file\" value=\"" +
                       (env_.dir.path() / "out.log").string() + "\"/></appender></r>");
    return std::make_shared<Logger>("qx.sondrel.comm", env_.Get());
  }
  std::vector<std::string> Messages() {
    std::vector<std::string> messages;
    std::istringstream in(ReadFile(env_.dir.path() / "out.log"));
    for (std::string line; std::getline(in, line);) {
      messages.push_back(line.substr(0, 5) + "|" + line.substr(line.find("] - ") + 4));
    }
    return messages;
  }

  TestLoggingEnvironment env_;
};

TEST_F(LoggerTest, LevelTestDecidesWhatIsWritten) {
  const LoggerPtr logger = Make("info");
  LOG_TRACE(logger, MustNotBeFormatted{});
  LOG_DEBUG(logger, MustNotBeFormatted{});
  LOG_INFO(logger, "i " << 1);
  LOG_WARN(logger, "w " << true);
  LOG_ERROR(logger, "e " << static_cast<unsigned char>(7));
  LOG_FATAL(logger, "f " << std::wstring(L"\u00E9"));
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{"INFO |i 1", "WARN |w 1", "ERROR|e 7", "FATAL|f \xC3\xA9"}));
}

TEST_F(LoggerTest, LevelNoneWritesNothing) {
  const LoggerPtr logger = Make("none");
  LOG_FATAL(logger, MustNotBeFormatted{});
  LOG_ERROR(logger, MustNotBeFormatted{});
  EXPECT_EQ(logger->level(), kLevelNone);
}

TEST_F(LoggerTest, ReloadsAtMostEveryFiveSeconds) {
  const std::string reload = "<reloadsettings seconds=\"1\" enabled=\"1\"/>";
  const LoggerPtr logger = Make("info", reload);
  Make("debug", reload);  // the file changes; the logger has not seen it yet

  env_.Advance(2);  // past the 1-second interval but within 5 seconds of the last load
  LOG_DEBUG(logger, MustNotBeFormatted{});
  logger->Reload();
  EXPECT_EQ(logger->level(), kLevelInfo);

  env_.Advance(3);
  LOG_TRACE(logger, MustNotBeFormatted{});
  EXPECT_EQ(logger->level(), kLevelDebug);
  LOG_DEBUG(logger, "now written");
  EXPECT_EQ(Messages(), std::vector<std::string>{"DEBUG|now written"});
}

TEST_F(LoggerTest, WithoutMonitorTheConfigurationIsNeverReRead) {
  const LoggerPtr logger = Make("info");
  Make("debug");
  env_.Advance(100000);
  LOG_DEBUG(logger, MustNotBeFormatted{});
  LOG_INFO(logger, "x");
  EXPECT_EQ(logger->level(), kLevelInfo);
}

TEST_F(LoggerTest, ConcurrentLinesAreWrittenWhole) {
  const LoggerPtr logger = Make("info");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&logger, t] {
      for (int i = 0; i < 50; ++i) {
        LOG_INFO(logger, "thread " << t << " line " << i);
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  const auto messages = Messages();
  EXPECT_EQ(messages.size(), 200u);
  for (const auto& message : messages) {
    EXPECT_EQ(message.rfind("INFO |thread ", 0), 0u) << message;
  }
}

TEST(LoggerRegistryTest, OneLoggerPerCategory) {
  const LoggerPtr a = GetLogger("qx.sondrel.comm");
  EXPECT_EQ(GetLogger("qx.sondrel.comm"), a);
  EXPECT_NE(GetLogger("qx.sondrel"), a);
  EXPECT_EQ(a->category(), "qx.sondrel.comm");
  // The test main's configuration serves every "qx" category at TRACE.
  EXPECT_EQ(a->level(), kLevelTrace);
}

}  // namespace
}  // namespace sondrel
