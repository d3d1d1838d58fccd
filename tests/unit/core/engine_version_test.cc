// The engine version read from the update marker file in the engine directory.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "core/engine_version.h"
#include "support/temp_dir.h"

namespace sondrel::test {
namespace {

TEST(EngineVersionTest, TheFirstVersionLineCounts) {
  struct Case {
    const char* name;
    std::string content;
    std::string version;
  };
  const Case cases[] = {
      {"third line", "Engine\nBuild 12\nVersion: 7.1\nVersion: 8.0\n", "7.1"},
      {"lower case is not the prefix", "version: 7.1\n", ""},
      {"a leading space is not the prefix", " Version: 7.1\n", ""},
      {"CR LF line ends", "x\r\nVersion: 10.2.3\r\n", "10.2.3"},
      {"no line end at the end of the file", "Version: 5", "5"},
      {"an empty version", "Version: \nVersion: 6\n", ""},
      {"no version line", "Engine 7.1\n", ""},
      {"a long line is read in pieces of 255 characters",
       "Version: " + std::string(300, 'v') + "\n", std::string(246, 'v')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::ofstream(dir.path() / "update.txt", std::ios::binary) << c.content;
    EXPECT_EQ(ReadEngineVersion(dir.path().wstring()), c.version);
  }
}

TEST(EngineVersionTest, NoMarkerFileGivesNoVersion) {
  TempDir dir;
  EXPECT_EQ(ReadEngineVersion(dir.path().wstring()), "");
  std::filesystem::create_directory(dir.path() / "update.txt");
  EXPECT_EQ(ReadEngineVersion(dir.path().wstring()), "");
}

}  // namespace
}  // namespace sondrel::test
