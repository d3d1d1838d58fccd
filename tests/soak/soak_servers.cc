#include "soak/soak_servers.h"

#include <algorithm>
#include <csignal>

namespace sondrel::test {
namespace {

constexpr auto kStopWait = std::chrono::seconds(15);
constexpr size_t kTailBytes = 2000;
constexpr const char* kSanitizerReports[] = {"AddressSanitizer", "LeakSanitizer", "runtime error:"};

std::string Tail(const std::string& log) {
  return log.substr(log.size() - std::min(log.size(), kTailBytes));
}

}  // namespace

SoakServers::SoakServers(std::string program, std::string signatures,
                         std::filesystem::path logDirectory)
    : program_(std::move(program)),
      signatures_(std::move(signatures)),
      logDirectory_(std::move(logDirectory)),
      servers_(kCount),
      starts_(kCount, 0) {
  for (size_t i = 0; i < kCount; ++i) {
    proxies_.push_back(
        std::make_unique<FaultProxy>(Address(i), proxies_.empty() ? 0 : proxies_.front()->port()));
  }
}

std::string SoakServers::Address(size_t index) {
  return "127.0.0." + std::to_string(index + 1);
}

size_t SoakServers::runningCount() const {
  return static_cast<size_t>(std::count_if(servers_.begin(), servers_.end(),
                                           [](const auto& server) { return server != nullptr; }));
}

bool SoakServers::Start(size_t index, std::string& error) {
  ServerProcessOptions options;
  options.listen = {Address(index) + ":0"};
  options.arguments = {"--database",  signatures_, "--workers",          "2",
                       "--log-level", "info",      "--shutdown-timeout", "1"};
  const std::filesystem::path log = logDirectory_ / ("server" + std::to_string(index + 1) + "." +
                                                     std::to_string(starts_[index]++) + ".log");
  auto server = std::make_unique<ServerProcess>(program_, log, options);
  if (!server->ok()) {
    error = "server " + Address(index) + " did not start:\n" + server->Log();
    return false;
  }
  proxies_[index]->SetServer(server->port());
  if (starts_[index] > 1) {
    ++restarts_;
  }
  servers_[index] = std::move(server);
  return true;
}

void SoakServers::Stop(size_t index, int signal) {
  if (servers_[index] == nullptr) {
    return;
  }
  servers_[index]->Signal(signal);
  const std::optional<int> exit = servers_[index]->Wait(kStopWait);
  const std::string log = servers_[index]->Log();
  if (signal == SIGTERM && exit != 0) {
    problems_.push_back(Address(index) + " ended with " +
                        (exit ? std::to_string(*exit) : std::string("nothing in time")) +
                        " after SIGTERM:\n" + Tail(log));
  }
  for (const char* report : kSanitizerReports) {
    if (log.find(report) != std::string::npos) {
      problems_.push_back(Address(index) + " logged " + report + ":\n" + Tail(log));
    }
  }
  servers_[index].reset();
}

void SoakServers::StopAll(int signal) {
  for (size_t i = 0; i < kCount; ++i) {
    Stop(i, signal);
  }
}

std::string SoakServers::LogTails() const {
  std::string tails;
  for (size_t i = 0; i < kCount; ++i) {
    if (servers_[i] != nullptr) {
      const std::string log = servers_[i]->Log();
      tails +=
          "--- " + Address(i) + "\n" + log.substr(log.size() - std::min(log.size(), kTailBytes));
    }
  }
  return tails;
}

}  // namespace sondrel::test
