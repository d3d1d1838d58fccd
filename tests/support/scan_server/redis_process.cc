#include "support/scan_server/redis_process.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <csignal>

namespace sondrel::test {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(10);

}  // namespace

uint16_t UnusedPort() {
  boost::asio::io_context io;
  boost::asio::ip::tcp::acceptor acceptor(
      io, {boost::asio::ip::make_address("127.0.0.1"), static_cast<uint16_t>(0)});
  return acceptor.local_endpoint().port();
}

bool RedisProcess::Installed() {
  return !platform::FindOnPath("redis-server").empty() &&
         !platform::FindOnPath("redis-cli").empty();
}

RedisProcess::RedisProcess() : port_(UnusedPort()) {
  if (Installed()) {
    Launch();
  }
}

bool RedisProcess::Launch() {
  std::string error;
  process_.reset();
  std::optional<platform::ChildProcess> started = platform::ChildProcess::Start(
      platform::FindOnPath("redis-server"),
      {"--port", std::to_string(port_), "--bind", "127.0.0.1", "--save", "", "--appendonly", "no",
       "--daemonize", "no", "--loglevel", "notice"},
      error);
  if (!started) {
    return false;
  }
  process_.emplace(std::move(*started));
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::optional<std::string> line =
        process_->ReadLine(std::chrono::duration_cast<std::chrono::milliseconds>(kStartTimeout));
    if (!line) {
      break;
    }
    if (line->find("Ready to accept connections") != std::string::npos) {
      return true;
    }
  }
  process_.reset();
  return false;
}

void RedisProcess::Kill() {
  if (process_) {
    process_->Signal(SIGKILL);
    process_->Wait(std::chrono::seconds(5));
    process_.reset();
  }
}

bool RedisProcess::Restart() {
  Kill();
  return Launch();
}

std::string RedisProcess::Cli(const std::vector<std::string>& arguments) const {
  std::vector<std::string> all = {"-h", "127.0.0.1", "-p", std::to_string(port_)};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::string error;
  std::optional<platform::ChildProcess> cli =
      platform::ChildProcess::Start(platform::FindOnPath("redis-cli"), all, error);
  if (!cli) {
    return "cannot start redis-cli: " + error;
  }
  std::string output;
  while (const std::optional<std::string> line = cli->ReadLine(std::chrono::seconds(5))) {
    output += (output.empty() ? "" : "\n") + *line;
  }
  cli->Wait(std::chrono::seconds(5));
  return output;
}

}  // namespace sondrel::test
