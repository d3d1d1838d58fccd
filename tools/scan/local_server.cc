#include "tools/scan/local_server.h"

#include <chrono>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/console.h"
#include "platform/process_info.h"
#include "platform/utf8.h"

namespace sondrel::scan_tool {
namespace {

constexpr const char* kServerName = "sondrel-server";
// Loading large signature databases takes a while.
constexpr auto kListenWait = std::chrono::seconds(120);
constexpr auto kStopGrace = std::chrono::seconds(5);

// The port of a "listening ADDRESS:PORT" line.
std::optional<uint16_t> ListeningPort(std::string_view line) {
  constexpr std::string_view kPrefix = "listening ";
  const size_t colon = line.rfind(':');
  if (!line.starts_with(kPrefix) || colon == std::string_view::npos) {
    return std::nullopt;
  }
  try {
    const int port = std::stoi(std::string(line.substr(colon + 1)));
    if (port > 0 && port <= 65535) {
      return static_cast<uint16_t>(port);
    }
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

}  // namespace

std::string FindServerProgram() {
  const std::string beside = platform::ToUtf8(platform::ExecutableDirectory()) + kServerName;
  if (platform::IsExecutableFile(beside)) {
    return beside;
  }
  return platform::FindOnPath(kServerName);
}

std::unique_ptr<LocalServer> LocalServer::Start(std::ostream& err) {
  const std::string program = FindServerProgram();
  if (program.empty()) {
    err << "sondrel-scan: no scan server given and no sondrel-server beside the program or on "
           "the PATH to start (see --server, --settings)\n";
    return nullptr;
  }
  std::string error;
  std::optional<platform::ChildProcess> process = platform::ChildProcess::Start(
      program, {"--listen", "127.0.0.1:0", "--log-level", "warn"}, error);
  if (!process) {
    err << "sondrel-scan: cannot start " << program << ": " << error << "\n";
    return nullptr;
  }
  platform::StopChildOnSignals(process->pid());
  const auto deadline = std::chrono::steady_clock::now() + kListenWait;
  while (std::chrono::steady_clock::now() < deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const std::optional<std::string> line = process->ReadLine(left);
    if (!line) {
      break;
    }
    if (const std::optional<uint16_t> port = ListeningPort(*line)) {
      return std::unique_ptr<LocalServer>(new LocalServer(std::move(*process), *port, program));
    }
  }
  platform::StopChildOnSignals(0);
  err << "sondrel-scan: " << program << " did not start listening\n";
  return nullptr;
}

LocalServer::~LocalServer() {
  platform::StopChildOnSignals(0);
  process_.Stop(kStopGrace);
}

}  // namespace sondrel::scan_tool
