#include "support/test_host/host_process.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/shell_command.h"

namespace sondrel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Quoted(const fs::path& path) {
  return "'" + path.string() + "'";
}

// The value after "name=" in an answer line.
int32_t Field(const std::string& line, const std::string& name) {
  const size_t at = line.find(" " + name + "=");
  return at == std::string::npos ? -1 : std::stoi(line.substr(at + name.size() + 2));
}

}  // namespace

HostProcess::HostProcess(const fs::path& bin, const fs::path& file) : bin_(bin) {
  fs::copy_file(SONDREL_TEST_HOST, bin_ / "sondrel-test-host",
                fs::copy_options::overwrite_existing);
  std::ofstream(bin_ / "commands.txt").flush();
  // The exit code is written when the program has ended, whatever ended it.
  const std::string command = "cd " + Quoted(bin_) +
                              " && ( ./sondrel-test-host commands.txt output.txt " + Quoted(file) +
                              " > host.out 2>&1; echo $? > exit.txt ) > /dev/null 2>&1 &";
  running_ = platform::RunShellCommand(command) == 0;
  if (const auto ready = WaitForLine("0 ready ", 15000)) {
    initResult_ = std::stoi(ready->substr(8));
  }
}

HostProcess::~HostProcess() {
  if (running_) {
    Quit();
  }
}

std::optional<HostProcess::ScanOutcome> HostProcess::Scan(int timeoutMs) {
  const std::string number = std::to_string(next_);
  const auto line = Command("scan", number + " ", timeoutMs);
  if (!line) {
    return std::nullopt;
  }
  return ScanOutcome{Field(*line, "status"), Field(*line, "verdict"), Field(*line, "flags")};
}

int HostProcess::Quit(int timeoutMs) {
  running_ = false;
  Command("quit", "bye", timeoutMs);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream exit(bin_ / "exit.txt");
    int code = -1;
    if (exit >> code) {
      return code;
    }
    std::this_thread::sleep_for(20ms);
  }
  return -1;
}

std::optional<std::string> HostProcess::Command(const std::string& command,
                                                const std::string& prefix, int timeoutMs) {
  std::ofstream(bin_ / "commands.txt", std::ios::app) << next_++ << " " << command << "\n"
                                                      << std::flush;
  return WaitForLine(prefix, timeoutMs);
}

std::optional<std::string> HostProcess::WaitForLine(const std::string& prefix,
                                                    int timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream output(bin_ / "output.txt");
    for (std::string line; std::getline(output, line);) {
      if (line.starts_with(prefix)) {
        return line;
      }
    }
    std::this_thread::sleep_for(20ms);
  }
  return std::nullopt;
}

}  // namespace sondrel::test
