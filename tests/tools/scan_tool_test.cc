// The sondrel-scan program against a real sondrel-server, as an administrator runs it: a tree
// with a detection deep inside and a subtree left out, clean files, paths that cannot be read, a
// server that is not there, JSON Lines, several threads, odd file names, the private server it
// starts when told of none (and stops, also when interrupted), and nothing written beside it or
// where it runs.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/child_process.h"
#include "platform/shell_command.h"
#include "support/scan_server/server_process.h"
#include "support/temp_dir.h"

namespace sondrel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kEicar =
    "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) {
    lines.push_back(line);
  }
  return lines;
}

// The processes running the program at `path`.
std::vector<int> ProcessesOf(const fs::path& path) {
  std::vector<int> pids;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (!std::all_of(name.begin(), name.end(), ::isdigit)) {
      continue;
    }
    std::error_code error;
    if (fs::read_symlink(entry.path() / "exe", error) == path) {
      pids.push_back(std::stoi(name));
    }
  }
  return pids;
}

class ScanToolTest : public testing::Test {
 protected:
  // The program with the library, the response cache (its entries in a directory of the test)
  // and the scan server beside it, as they are installed.
  ScanToolTest() {
    fs::create_directories(bin());
    fs::create_directories(work());
    for (const char* file :
         {SONDREL_SCAN_PROGRAM, SONDREL_LIBRARY, SONDREL_MERRIN, SONDREL_SERVER_PROGRAM}) {
      fs::copy_file(file, bin() / fs::path(file).filename());
    }
    std::ofstream(bin() / "Merrin.conf")
        << "directory = " << (dir_.path() / "cache").string() << "\n";
  }

  fs::path bin() const { return dir_.path() / "bin"; }
  fs::path work() const { return dir_.path() / "work"; }
  fs::path tree() const { return dir_.path() / "tree"; }

  std::string File(const fs::path& relative, const std::string& content) {
    const fs::path path = tree() / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  // A real server for --server; its log in the test's directory.
  std::string StartServer() {
    server_.emplace(SONDREL_SERVER_PROGRAM, dir_.path() / "server.log");
    EXPECT_TRUE(server_->ok()) << server_->Log();
    return "--server 127.0.0.1:" + std::to_string(server_->port());
  }

  struct Run {
    int exitCode;
    std::string out;
    std::string err;
    std::chrono::milliseconds took;
  };

  // Runs the program from the work directory with `arguments` (shell words).
  Run Scan(const std::string& arguments, const std::string& input = "/dev/null") {
    const fs::path out = dir_.path() / "out.txt";
    const fs::path err = dir_.path() / "err.txt";
    const auto started = std::chrono::steady_clock::now();
    const int exitCode = platform::RunShellCommand(
        "cd '" + work().string() + "' && '" + (bin() / "sondrel-scan").string() + "' " + arguments +
        " > '" + out.string() + "' 2> '" + err.string() + "' < " + input);
    return {exitCode, ReadFile(out), ReadFile(err),
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                  started)};
  }

  // Only what the test put there: nothing written beside the program or where it ran.
  void ExpectNothingWritten() {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(bin())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Merrin.conf", "Merrin.so", "libsondrel.so.0",
                                               "sondrel-scan", "sondrel-server"}));
    EXPECT_TRUE(fs::is_empty(work()));
  }

  TempDir dir_;
  std::optional<ServerProcess> server_;
};

TEST_F(ScanToolTest, FindsADetectionDeepInATreeAndLeavesOutWhatIsExcluded) {
  const std::string deep = File("a/b/c/eicar.com", kEicar);
  File("a/notes.txt", "nothing to see");
  File("a/b/report.txt", "quarterly figures");
  File("skipped/eicar.com", kEicar);
  File("a/b/c/scratch.tmp", kEicar);
  const Run run = Scan(StartServer() + " --threads 1 --exclude skipped --exclude '*.tmp' '" +
                       tree().string() + "'");
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  const std::vector<std::string> lines = LinesOf(run.out);
  ASSERT_GE(lines.size(), 3u) << run.out;
  // Depth first, sorted by name (one thread prints in that order; several in the order the
  // scans end).
  EXPECT_EQ(lines[0].rfind(deep + ": Sondrel.Test.EICAR", 0), 0u) << run.out;
  EXPECT_NE(lines[0].find(" FOUND"), std::string::npos);
  EXPECT_EQ(lines[1], (tree() / "a/b/report.txt").string() + ": OK");
  EXPECT_EQ(lines[2], (tree() / "a/notes.txt").string() + ": OK");
  EXPECT_EQ(run.out.find("skipped"), std::string::npos);
  EXPECT_EQ(run.out.find("scratch"), std::string::npos);
  EXPECT_NE(run.out.find("Scanned files: 3\nInfected files: 1\nErrors: 0\n"), std::string::npos)
      << run.out;
  ExpectNothingWritten();
}

TEST_F(ScanToolTest, CleanFilesExitWithZeroAndInfectedOnlyPrintsNothingForThem) {
  File("one.txt", "one");
  File("two/three.txt", "three");
  const std::string server = StartServer();
  const Run run = Scan(server + " --no-summary '" + tree().string() + "'");
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(LinesOf(run.out).size(), 2u) << run.out;
  const Run quiet = Scan(server + " --infected --no-summary '" + tree().string() + "'");
  EXPECT_EQ(quiet.exitCode, 0);
  EXPECT_EQ(quiet.out, "");
}

TEST_F(ScanToolTest, PathsThatCannotBeReadAreErrors) {
  const std::string clean = File("ok.txt", "fine");
  fs::create_symlink(tree() / "gone", tree() / "dangling");
  const Run run =
      Scan(StartServer() + " --no-summary '" + clean + "' '" + (tree() / "dangling").string() +
           "' '" + (tree() / "missing").string() + "'");
  EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
  EXPECT_NE(run.out.find(clean + ": OK\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find((tree() / "dangling").string() + ": ERROR broken symbolic link"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find((tree() / "missing").string() + ": ERROR "), std::string::npos);
}

TEST_F(ScanToolTest, AServerThatIsNotThereStopsTheRunWithinTheWait) {
  File("one.txt", "one");
  // A port nothing listens on.
  const uint16_t port = [] {
    ServerProcess gone(SONDREL_SERVER_PROGRAM, "/dev/null");
    return gone.port();
  }();
  const Run run =
      Scan("--server 127.0.0.1:" + std::to_string(port) + " --wait 1 '" + tree().string() + "'");
  EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
  EXPECT_NE(run.err.find("sondrel-scan: no scan server was usable within 1 s"), std::string::npos)
      << run.err;
  EXPECT_LT(run.took, 10s);
}

TEST_F(ScanToolTest, JsonLinesParseAndTheirSummaryMatches) {
  File("a/eicar.com", kEicar);
  File("a/b.txt", "b");
  File("c.txt", "c");
  const Run run = Scan(StartServer() + " --json '" + tree().string() + "'");
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  std::vector<nlohmann::json> lines;
  for (const std::string& line : LinesOf(run.out)) {
    lines.push_back(nlohmann::json::parse(line));
  }
  ASSERT_EQ(lines.size(), 4u) << run.out;
  size_t found = 0;
  uint64_t bytes = 0;
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(lines[i].contains("path"));
    EXPECT_TRUE(lines[i].contains("milliseconds"));
    found += lines[i]["result"] == "FOUND" ? 1 : 0;
    bytes += lines[i]["bytes"].get<uint64_t>();
  }
  const nlohmann::json& summary = lines[3]["summary"];
  EXPECT_EQ(summary["files"], 3);
  EXPECT_EQ(summary["infected"], found);
  EXPECT_EQ(summary["bytes"], bytes);
  EXPECT_EQ(summary["exit_code"], 1);
}

TEST_F(ScanToolTest, FourThreadsGiveTheSameResultsAsOne) {
  for (int i = 0; i < 24; ++i) {
    File("d" + std::to_string(i % 4) + "/f" + std::to_string(i), i % 5 == 0 ? kEicar : "clean");
  }
  const std::string server = StartServer();
  const auto sorted = [](const std::string& out) {
    std::vector<std::string> lines = LinesOf(out);
    std::sort(lines.begin(), lines.end());
    return lines;
  };
  const Run one = Scan(server + " --threads 1 --no-summary --no-cache '" + tree().string() + "'");
  const Run four = Scan(server + " --threads 4 --no-summary --no-cache '" + tree().string() + "'");
  EXPECT_EQ(one.exitCode, 1);
  EXPECT_EQ(four.exitCode, 1);
  EXPECT_EQ(sorted(one.out), sorted(four.out));
  EXPECT_EQ(sorted(one.out).size(), 24u);
}

TEST_F(ScanToolTest, NamesWithSpacesNewlinesAndBytesThatAreNotUtf8) {
  const std::string odd = File("a b\nc\xff.com", kEicar);
  const std::string server = StartServer();
  const Run text = Scan(server + " --no-summary '" + tree().string() + "'");
  EXPECT_EQ(text.exitCode, 1) << text.out << text.err;
  EXPECT_EQ(text.out.rfind(tree().string() + "/a b\\nc\\xff.com: Sondrel.Test.EICAR", 0), 0u)
      << text.out;
  const Run json = Scan(server + " --json --no-summary '" + tree().string() + "'");
  const nlohmann::json line = nlohmann::json::parse(LinesOf(json.out).at(0));
  EXPECT_EQ(line["path"], tree().string() + "/a b\\nc\\xff.com");
  std::string hex;
  for (const unsigned char c : odd) {
    char pair[3];
    std::snprintf(pair, sizeof(pair), "%02x", c);
    hex += pair;
  }
  EXPECT_EQ(line["path_bytes"], hex);
}

TEST_F(ScanToolTest, PathsFromStandardInputSeparatedByNul) {
  const std::string first = File("first.txt", "1");
  const std::string second = File("second file.com", kEicar);
  std::ofstream(dir_.path() / "list", std::ios::binary) << first << '\0' << second << '\0';
  const Run run = Scan(StartServer() + " --threads 1 --no-summary --files-from - --null",
                       "'" + (dir_.path() / "list").string() + "'");
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  const std::vector<std::string> lines = LinesOf(run.out);
  ASSERT_EQ(lines.size(), 2u) << run.out;
  EXPECT_EQ(lines[0], first + ": OK");
  EXPECT_EQ(lines[1].rfind(second + ": Sondrel.Test.EICAR", 0), 0u);
}

TEST_F(ScanToolTest, WithoutAServerItScansThroughAPrivateOneAndStopsIt) {
  const std::string infected = File("eicar.com", kEicar);
  const Run run = Scan("--no-summary '" + infected + "'");
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  EXPECT_EQ(run.out.rfind(infected + ": Sondrel.Test.EICAR", 0), 0u) << run.out;
  EXPECT_NE(run.err.find("scanning through a private sondrel-server on 127.0.0.1:"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(ProcessesOf(bin() / "sondrel-server").empty());
  ExpectNothingWritten();

  const Run refused = Scan("--no-local-server '" + infected + "'");
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_NE(refused.err.find("no scan server"), std::string::npos) << refused.err;
}

TEST_F(ScanToolTest, AnInterruptedRunLeavesNoServerBehind) {
  for (int i = 0; i < 400; ++i) {
    File("many/f" + std::to_string(i), std::string(64 * 1024, static_cast<char>('a' + i % 26)));
  }
  std::string error;
  std::optional<platform::ChildProcess> tool = platform::ChildProcess::Start(
      (bin() / "sondrel-scan").string(), {"--threads", "1", "--no-cache", tree().string()}, error,
      (dir_.path() / "err.txt").string());
  ASSERT_TRUE(tool) << error;
  // Scanning has begun once a result is printed.
  ASSERT_TRUE(tool->ReadLine(30s)) << ReadFile(dir_.path() / "err.txt");
  ASSERT_EQ(ProcessesOf(bin() / "sondrel-server").size(), 1u);
  tool->Signal(SIGINT);
  EXPECT_EQ(tool->Wait(10s), 128 + SIGINT);
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!ProcessesOf(bin() / "sondrel-server").empty() &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_TRUE(ProcessesOf(bin() / "sondrel-server").empty());
}

TEST_F(ScanToolTest, UsageErrorsAndHelp) {
  for (const char* arguments :
       {"", "--wait x file", "--frobnicate file", "--threads 0 file", "--server nohost file",
        "--null file", "--server a:1 --settings s.xml file"}) {
    SCOPED_TRACE(arguments);
    const Run run = Scan(arguments);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err.rfind("sondrel-scan: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("usage: sondrel-scan"), std::string::npos) << run.err;
  }
  const Run help = Scan("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("usage: sondrel-scan", 0), 0u);
  for (const char* option : {"--server", "--settings", "--files-from", "--exclude", "--threads",
                             "--json", "--infected", "--no-cache", "--log-dir", "--version"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  const Run version = Scan("--version");
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("sondrel-scan ", 0), 0u);
}

}  // namespace
}  // namespace sondrel::test
