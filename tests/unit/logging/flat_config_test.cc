#include "logging/flat_config.h"

#include <gtest/gtest.h>

#include "logging/settings_builder.h"
#include "platform/file_system.h"
#include "test_environment.h"

namespace sondrel {
namespace {

using test::TestLoggingEnvironment;

struct FlatFile {
  std::string enable = "1";
  std::string level = "debug";
  std::string size = "5000";
  std::string type = "TXT";
  std::string monitor;  // empty: element absent
  std::string path;
  std::string omit;  // name of a required element to leave out

  std::string Xml() const {
    std::string xml = "<logger>";
    const auto add = [&](const std::string& name, const std::string& text) {
      if (name != omit) {
        xml += "<" + name + ">" + text + "</" + name + ">";
      }
    };
    add("enable", enable);
    add("level", level);
    add("size", size);
    add("type", type);
    if (!monitor.empty()) {
      add("monitor_settings", monitor);
    }
    add("path", path);
    return xml + "</logger>";
  }
};

class FlatConfigTest : public testing::Test {
 protected:
  LoggerSettings Build(const FlatFile& file, const std::string& name = "Logger.xml") {
    env_.dir.Write(name, file.Xml());
    return BuildLoggerSettings("qx.sondrel.comm", *env_.Get());
  }
  FlatFile WithLogDirectory() {
    FlatFile file;
    file.path = (env_.dir.path() / "logs").string();
    return file;
  }

  TestLoggingEnvironment env_;
};

TEST_F(FlatConfigTest, AbsolutePathAndDefaults) {
  const LoggerSettings s = Build(WithLogDirectory());
  EXPECT_EQ(s.level, kLevelDebug);
  EXPECT_EQ(s.filePath, env_.Path(L"logs/kalvix4242.log"));
  EXPECT_EQ(s.MaxFileSize, 4);  // 5000 KiB, truncated to whole MiB
  EXPECT_EQ(s.MaxBackupIndex, 5);
  EXPECT_EQ(s.outputType, kOutputFile);
  EXPECT_TRUE(s.monitor);  // no monitor_settings: monitor every 30 s
  EXPECT_EQ(s.reloadSeconds, 30);
  EXPECT_EQ(s.configPath, env_.Path(L"Logger.xml"));
  EXPECT_TRUE(platform::DirectoryExists(env_.Path(L"logs")));
}

TEST_F(FlatConfigTest, SizeTypeAndMonitorRules) {
  struct Case {
    std::string size, type, monitor;
    int32_t maxFileSize, outputType;
    bool monitorOn;
    int32_t reloadSeconds;
  };
  const Case cases[] = {
      {"1000", "TXT", "1", 0, kOutputFile, true, 30},
      {"2048", "DBG", "0", 2, kOutputDebugger, false, 0},
      {"1024", "TXT+DBG", "yes", 1, kOutputBoth, false, 0},
      {"abc", "XML", "", 0, kOutputFile, true, 30},
  };
  for (const Case& c : cases) {
    FlatFile file = WithLogDirectory();
    file.size = c.size;
    file.type = c.type;
    file.monitor = c.monitor;
    const LoggerSettings s = Build(file);
    EXPECT_EQ(s.MaxFileSize, c.maxFileSize) << c.size;
    EXPECT_EQ(s.outputType, c.outputType) << c.type;
    EXPECT_EQ(s.monitor, c.monitorOn) << c.monitor;
    EXPECT_EQ(s.reloadSeconds, c.reloadSeconds) << c.monitor;
  }
}

TEST_F(FlatConfigTest, LevelTextIsMatchedBySubstring) {
  const std::pair<std::string, int32_t> cases[] = {
      {"DEBUG", kLevelInfo}, {"mydebuglevel", kLevelDebug}, {"critical", kLevelFatal},
      {"", kLevelInfo},      {"none", kLevelNone},
  };
  for (const auto& [text, level] : cases) {
    FlatFile file = WithLogDirectory();
    file.level = text;
    EXPECT_EQ(Build(file).level, level) << text;
  }
}

TEST_F(FlatConfigTest, DisabledLoggingCreatesNoDirectory) {
  FlatFile file = WithLogDirectory();
  file.enable = "0";
  file.omit = "level";  // not read when logging is disabled
  const LoggerSettings s = Build(file);
  EXPECT_EQ(s.level, kLevelNone);
  EXPECT_FALSE(platform::DirectoryExists(env_.Path(L"logs")));
}

TEST_F(FlatConfigTest, ExecutableNamedFileComesFirst) {
  FlatFile own = WithLogDirectory();
  own.level = "trace";
  FlatFile shared = WithLogDirectory();
  shared.level = "error";
  env_.dir.Write("Logger.xml", shared.Xml());
  env_.dir.Write("scanhost.Logger.xml", own.Xml());
  EXPECT_EQ(BuildLoggerSettings("qx", *env_.Get(L"scanhost.bin")).level, kLevelTrace);
  EXPECT_EQ(BuildLoggerSettings("qx", *env_.Get(L"otherhost")).level, kLevelError);
}

TEST_F(FlatConfigTest, RelativePathGoesUnderTheProductsApplicationData) {
  env_.dir.Write("ServConfig.xml",
                 "<config><operations>"
                 "<value var=\"manufacturer\">Acme</value>"
                 "<value var=\"INTERNALPRODUCTNAME\">/Shield</value>"
                 "<value var=\"PRODUCTNAME\">Acme Shield</value>"
                 "</operations></config>");
  FlatFile file;
  file.path = "Logs/Scan";
  EXPECT_EQ(Build(file).filePath, env_.Path(L"appdata/Acme/Shield/Logs/Scan/kalvix4242.log"));
}

TEST_F(FlatConfigTest, FailuresFallBackToTheDefaultFileKeepingTheLevelReadSoFar) {
  struct Case {
    std::string omit;
    std::string relativePath;  // non-empty: relative path without ServConfig.xml
    int32_t level;
  };
  const Case cases[] = {
      {"enable", "", kLevelInfo}, {"level", "", kLevelInfo}, {"size", "", kLevelDebug},
      {"type", "", kLevelDebug},  {"path", "", kLevelDebug}, {"", "logs", kLevelDebug},
  };
  for (const Case& c : cases) {
    FlatFile file = WithLogDirectory();
    file.omit = c.omit;
    if (!c.relativePath.empty()) {
      file.path = c.relativePath;
    }
    const LoggerSettings s = Build(file);
    EXPECT_EQ(s.filePath, env_.Path(L"kalvix4242.log")) << c.omit << c.relativePath;
    EXPECT_EQ(s.MaxFileSize, 10);
    EXPECT_EQ(s.MaxBackupIndex, 5);
    EXPECT_EQ(s.level, c.level) << c.omit << c.relativePath;
  }
}

}  // namespace
}  // namespace sondrel
