// The sondrel-probe program itself: its exit codes and what it prints, against fake servers.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/shell_command.h"
#include "support/fake_server/fake_server.h"
#include "support/fake_server/session_script.h"
#include "support/temp_dir.h"

namespace sondrel::test {
namespace {

struct ProgramRun {
  int exitCode;
  std::string output;
};

// Runs the program with `arguments` (shell words), its standard output and error in one file.
ProgramRun RunProgram(const std::string& arguments) {
  TempDir directory;
  const auto output = directory.path() / "output.txt";
  const int exitCode = platform::RunShellCommand(std::string("'") + SONDREL_PROBE_PROGRAM + "' " +
                                                 arguments + " > '" + output.string() + "' 2>&1");
  std::ifstream file(output);
  return {exitCode, std::string(std::istreambuf_iterator<char>(file), {})};
}

std::unique_ptr<FakeServer> Serving(const std::string& address) {
  FakeServerOptions options;
  options.address = address;
  return std::make_unique<FakeServer>(
      [](FakeConnection& connection) { ServeSession(connection, SessionScript{}); }, options);
}

TEST(ProbeProgramTest, ExitCodesAndReport) {
  auto first = Serving("127.0.0.1");
  auto second = Serving("127.0.0.2");
  const std::string servers = "--server 127.0.0.1:" + std::to_string(first->port()) +
                              "@5 --server 127.0.0.2:" + std::to_string(second->port()) + "@1";

  const ProgramRun usable = RunProgram(servers + " --seconds 1 --json");
  EXPECT_EQ(usable.exitCode, 0) << usable.output;
  EXPECT_EQ(usable.output.rfind("{\"sessions\":[{\"host\":\"127.0.0.2\"", 0), 0u) << usable.output;
  EXPECT_NE(usable.output.find("\"best\":true"), std::string::npos);
  EXPECT_NE(usable.output.find("\"server_id\":\"01234567-89ab-cdef-1032-547698badcfe\""),
            std::string::npos);

  first.reset();
  second.reset();
  const ProgramRun none = RunProgram(servers + " --seconds 0");
  EXPECT_EQ(none.exitCode, 1) << none.output;
  EXPECT_EQ(none.output, "no sessions\n");

  const ProgramRun usage = RunProgram("--seconds 1");
  EXPECT_EQ(usage.exitCode, 2);
  EXPECT_NE(usage.output.find("usage: sondrel-probe"), std::string::npos);
}

}  // namespace
}  // namespace sondrel::test
