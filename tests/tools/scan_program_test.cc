// The sondrel-scan program itself against a scanning fake server that it is told of on the
// command line: what it prints, the paths it walks, its exit codes, and that it writes nothing
// beside itself or where it runs.
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

namespace fs = std::filesystem;

constexpr const char* kEicar =
    "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

class ScanProgramTest : public testing::Test {
 protected:
  // The program and the library side by side in a directory of their own.
  ScanProgramTest() {
    fs::create_directories(bin());
    fs::create_directories(work());
    fs::copy_file(SONDREL_SCAN_PROGRAM, bin() / "sondrel-scan");
    fs::copy_file(SONDREL_LIBRARY, bin() / fs::path(SONDREL_LIBRARY).filename());
  }

  fs::path bin() const { return directory_.path() / "bin"; }
  fs::path work() const { return directory_.path() / "work"; }
  std::string server() const { return "--server 127.0.0.1:" + std::to_string(server_.port()); }

  std::string WriteFile(const std::string& name, const std::string& content) {
    const auto path = directory_.path() / "files" / name;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  struct Run {
    int exitCode;
    std::string out;
    std::string err;
  };

  // Runs the program from the work directory.
  Run RunProgram(const std::string& arguments) {
    const auto out = directory_.path() / "out.txt";
    const auto err = directory_.path() / "err.txt";
    const int exitCode = platform::RunShellCommand(
        "cd '" + work().string() + "' && '" + (bin() / "sondrel-scan").string() + "' " + arguments +
        " > '" + out.string() + "' 2> '" + err.string() + "' < /dev/null");
    return {exitCode, ReadFile(out), ReadFile(err)};
  }

  ScanningServer server_;
  TempDir directory_;
};

TEST_F(ScanProgramTest, ScansFilesThroughTheServerAndSaysWhatItFound) {
  const std::string infected = WriteFile("eicar.com", kEicar);
  const std::string clean = WriteFile("notes.txt", "nothing to see here");
  const Run run =
      RunProgram(server() + " --threads 1 --no-summary '" + infected + "' '" + clean + "'");
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  EXPECT_EQ(run.out, infected + ": EICAR-Test FOUND\n" + clean + ": OK\n");

  const Run cleanOnly = RunProgram(server() + " '" + clean + "'");
  EXPECT_EQ(cleanOnly.exitCode, 0) << cleanOnly.out << cleanOnly.err;
  EXPECT_NE(cleanOnly.out.find("Scanned files: 1\n"), std::string::npos) << cleanOnly.out;
  // Nothing written beside the program or where it ran: no log, no settings, no cache.
  EXPECT_EQ(std::distance(fs::directory_iterator(bin()), fs::directory_iterator()), 2);
  EXPECT_TRUE(fs::is_empty(work()));
}

TEST_F(ScanProgramTest, DisinfectsThroughTheServer) {
  const std::string infected = WriteFile("eicar.com", kEicar);
  const Run run = RunProgram(server() + " --no-summary --disinfect '" + infected + "'");
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(run.out, infected + ": OK\n");
  EXPECT_EQ(ReadFile(infected).substr(0, 5), "CLEAN");
}

TEST_F(ScanProgramTest, UsageErrorsAndFilesThatCannotBeScanned) {
  for (const char* arguments : {"", "--wait x file", "--frobnicate file", "--threads 0 file",
                                "--server nohost file", "--null file"}) {
    SCOPED_TRACE(arguments);
    const Run run = RunProgram(arguments);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err.rfind("sondrel-scan: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("usage: sondrel-scan"), std::string::npos) << run.err;
  }
  const Run missing = RunProgram(server() + " '" + (directory_.path() / "missing").string() + "'");
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_NE(missing.out.find("missing: ERROR "), std::string::npos) << missing.out;
}

}  // namespace
}  // namespace sondrel::test
