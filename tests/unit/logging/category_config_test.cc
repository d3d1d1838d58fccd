#include "logging/category_config.h"

#include <gtest/gtest.h>

#include "logging/settings_builder.h"
#include "test_environment.h"

namespace sondrel {
namespace {

using test::TestLoggingEnvironment;

std::string Config(const std::string& rules, const std::string& fileParam,
                   const std::string& extraParams = "") {
  return "<log4j>\n"
         "  <reloadsettings seconds=\"45\" enabled=\"1\"/>\n" +
         rules +
         "  <appender name=\"main\">\n"
         "    <param name=\"file\" " +
         fileParam + "/>\n" + extraParams +
         "  </appender>\n"
         "</log4j>\n";
}

std::string Rule(const std::string& name, const std::string& priority,
                 const std::string& attributes = "") {
  return "  <category name=\"" + name + "\" " + attributes + "><priority value=\"" + priority +
         "\"/><appender-ref ref=\"main\"/></category>\n";
}

class CategoryConfigTest : public testing::Test {
 protected:
  LoggerSettings Build(const std::string& category) {
    return BuildLoggerSettings(category, *env_.Get());
  }
  std::string LogPath(const std::string& name) { return (env_.dir.path() / name).string(); }

  TestLoggingEnvironment env_;
};

TEST_F(CategoryConfigTest, RuleWithAdditivityServesLongerCategories) {
  env_.dir.Write("pellan-logger-cl.xml",
                 Config(Rule("qx.sondrel", "debug"), "value=\"" + LogPath("s.log") + "\"",
                        "    <param name=\"MaxBackupIndex\" value=\"3\"/>\n"
                        "    <param name=\"MaxFileSize\" value=\"2\"/>\n"));
  for (const char* category : {"qx.sondrel.comm", "qx.sondrel.slots", "qx.sondrel"}) {
    const LoggerSettings s = Build(category);
    EXPECT_EQ(s.level, kLevelDebug) << category;
    EXPECT_EQ(s.filePath, env_.Path(L"s.log"));
    EXPECT_EQ(s.configPath, env_.Path(L"pellan-logger-cl.xml"));
    EXPECT_EQ(s.MaxBackupIndex, 3);
    EXPECT_EQ(s.MaxFileSize, 2);
    EXPECT_EQ(s.reloadSeconds, 45);
    EXPECT_TRUE(s.monitor);
    EXPECT_TRUE(s.loaded);
    EXPECT_EQ(s.category, category);
  }
  EXPECT_EQ(Build("qx.other").filePath, env_.Path(L"kalvix4242.log"));
}

TEST_F(CategoryConfigTest, AdditivityFalseMatchesOnlyTheExactName) {
  env_.dir.Write("pellan-logger-cl.xml",
                 Config(Rule("qx.sondrel", "trace", "additivity=\"false\"") + Rule("qx", "warn"),
                        "value=\"" + LogPath("s.log") + "\""));
  EXPECT_EQ(Build("qx.sondrel").level, kLevelTrace);
  // The first rule does not apply; the second, in document order, does.
  EXPECT_EQ(Build("qx.sondrel.comm").level, kLevelWarn);
  EXPECT_EQ(Build("QX.SONDREL").filePath, env_.Path(L"kalvix4242.log"));
}

TEST_F(CategoryConfigTest, ServerFileIsPreferredToClientFile) {
  env_.dir.Write("pellan-logger-cl.xml",
                 Config(Rule("qx", "error"), "value=\"" + LogPath("c.log") + "\""));
  env_.dir.Write("pellan-logger-srv.xml",
                 Config(Rule("qx", "fatal"), "value=\"" + LogPath("s.log") + "\""));
  const LoggerSettings s = Build("qx.sondrel.comm");
  EXPECT_EQ(s.level, kLevelFatal);
  EXPECT_EQ(s.configPath, env_.Path(L"pellan-logger-srv.xml"));
}

TEST_F(CategoryConfigTest, DefaultsForAbsentParamsAndPriority) {
  env_.dir.Write("pellan-logger-cl.xml",
                 "<r><category name=\"qx\"><appender-ref ref=\"main\"/></category>"
                 "<appender name=\"main\"><param name=\"file\" value=\"" +
                     LogPath("a.log") + "\"/></appender></r>");
  const LoggerSettings s = Build("qx.sondrel.comm");
  EXPECT_EQ(s.level, kLevelInfo);
  EXPECT_EQ(s.MaxBackupIndex, 5);
  EXPECT_EQ(s.MaxFileSize, 10);
  EXPECT_EQ(s.reloadSeconds, 0);
  EXPECT_FALSE(s.monitor);
}

TEST_F(CategoryConfigTest, PidFormat) {
  env_.dir.Write(
      "pellan-logger-cl.xml",
      Config(Rule("qx", "info"), "value=\"" + LogPath("kalvix%d.log") + "\" pidformat=\"true\""));
  EXPECT_EQ(Build("qx").filePath, env_.Path(L"kalvix4242.log"));
  env_.dir.Write("pellan-logger-cl.xml",
                 Config(Rule("qx", "info"), "value=\"" + LogPath("kalvix%d.log") + "\""));
  EXPECT_EQ(Build("qx").filePath, env_.Path(L"kalvix%d.log"));
}

TEST(FormatWithProcessIdTest, OnlyIntegerConversionsTakeTheId) {
  const std::pair<std::string, std::string> cases[] = {
      {"kalvix%d.log", "kalvix77.log"}, {"k%05d.log", "k00077.log"},  {"k%i-%u", "k77-77"},
      {"100%%-%d", "100%-77"},          {"%s%n%p.log", "%s%n%p.log"}, {"%99999999d", "%99999999d"},
      {"trailing%", "trailing%"},
  };
  for (const auto& [format, expected] : cases) {
    EXPECT_EQ(FormatWithProcessId(format, 77), expected) << format;
  }
}

TEST_F(CategoryConfigTest, IncompleteRuleFallsThroughToTheFlatFormat) {
  const std::string missingAppender =
      "<r><reloadsettings seconds=\"12\" enabled=\"0\"/>"
      "<category name=\"qx\"><priority value=\"debug\"/><appender-ref ref=\"nowhere\"/></category>"
      "<appender name=\"main\"><param name=\"file\" value=\"x.log\"/></appender></r>";
  const std::string missingFile =
      "<r><category name=\"qx\"><priority value=\"debug\"/><appender-ref ref=\"main\"/></category>"
      "<appender name=\"main\"><param name=\"MaxFileSize\" value=\"1\"/></appender></r>";
  const std::string missingRef =
      "<r><category name=\"qx\"><priority value=\"debug\"/></category></r>";
  for (const std::string& config : {missingAppender, missingFile, missingRef, std::string("<r")}) {
    env_.dir.Write("pellan-logger-cl.xml", config);
    const LoggerSettings s = Build("qx.sondrel.comm");
    EXPECT_EQ(s.level, kLevelInfo) << config;
    EXPECT_EQ(s.filePath, env_.Path(L"kalvix4242.log")) << config;
    EXPECT_EQ(s.MaxFileSize, 10);
  }
  // Reload values read before the failure stay when the flat format does not set them.
  env_.dir.Write("pellan-logger-cl.xml", missingAppender);
  EXPECT_EQ(Build("qx").reloadSeconds, 12);
}

}  // namespace
}  // namespace sondrel
