// The sondrel-scan program itself, installed with the library and a settings file in a directory
// of its own, against a scanning fake server: what it prints and its exit codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/shell_command.h"
#include "support/fake_server/scanning_server.h"
#include "support/temp_dir.h"

namespace sondrel::test {
namespace {

constexpr const char* kEicar =
    "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

class ScanProgramTest : public testing::Test {
 protected:
  // The program and the library side by side, with the settings file the library looks for
  // beside its host program.
  ScanProgramTest() {
    namespace fs = std::filesystem;
    fs::create_directories(bin() / "settings");
    fs::copy_file(SONDREL_SCAN_PROGRAM, bin() / "sondrel-scan");
    fs::copy_file(SONDREL_LIBRARY, bin() / fs::path(SONDREL_LIBRARY).filename());
    std::ofstream(bin() / "settings" / "qxcore.xml")
        << "<qxcore><server>127.0.0.1</server><port>" << server_.port()
        << "</port><timeout>5000</timeout><minserverconnections>1</minserverconnections>"
           "<uselocalcache>0</uselocalcache></qxcore>";
  }

  std::filesystem::path bin() const { return directory_.path() / "bin"; }

  std::string WriteFile(const std::string& name, const std::string& content) {
    const auto path = directory_.path() / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  struct Run {
    int exitCode;
    std::string output;
  };

  Run RunProgram(const std::string& arguments) {
    const auto output = directory_.path() / "output.txt";
    const int exitCode = platform::RunShellCommand("'" + (bin() / "sondrel-scan").string() + "' " +
                                                   arguments + " > '" + output.string() + "' 2>&1");
    std::ifstream file(output);
    return {exitCode, std::string(std::istreambuf_iterator<char>(file), {})};
  }

  ScanningServer server_;
  TempDir directory_;
};

TEST_F(ScanProgramTest, ScansFilesThroughTheServerAndSaysWhatItFound) {
  const std::string infected = WriteFile("eicar.com", kEicar);
  const std::string clean = WriteFile("notes.txt", "nothing to see here");
  const Run run = RunProgram("'" + infected + "' '" + clean + "'");
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_EQ(run.output, infected + ": verdict 0x20: EICAR-Test\n" + clean + ": clean\n");

  const Run cleanOnly = RunProgram("'" + clean + "'");
  EXPECT_EQ(cleanOnly.exitCode, 0) << cleanOnly.output;
}

TEST_F(ScanProgramTest, DisinfectsThroughTheServer) {
  const std::string infected = WriteFile("eicar.com", kEicar);
  const Run run = RunProgram("--disinfect '" + infected + "'");
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(run.output, infected + ": disinfected, verdict 0x1\n");
  std::ifstream file(infected);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}).substr(0, 5), "CLEAN");
}

TEST_F(ScanProgramTest, UsageErrorsAndFilesThatCannotBeScanned) {
  EXPECT_EQ(RunProgram("").exitCode, 2);
  EXPECT_EQ(RunProgram("--wait x file").exitCode, 2);
  EXPECT_EQ(RunProgram("--frobnicate file").exitCode, 2);
  const Run missing = RunProgram("'" + (directory_.path() / "missing").string() + "'");
  EXPECT_EQ(missing.exitCode, 3);
  EXPECT_NE(missing.output.find("cannot be opened"), std::string::npos) << missing.output;
}

}  // namespace
}  // namespace sondrel::test
