#include "support/scan_server/server_process.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <fstream>
#include <sstream>
#include <thread>

namespace sondrel::test {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(30);

uint16_t PortOf(const std::string& line, const std::string& prefix) {
  if (line.rfind(prefix, 0) != 0) {
    return 0;
  }
  const size_t colon = line.rfind(':');
  return colon == std::string::npos ? 0 : static_cast<uint16_t>(std::stoi(line.substr(colon + 1)));
}

}  // namespace

ServerProcess::ServerProcess(const std::string& program, const std::filesystem::path& logFile,
                             ServerProcessOptions options)
    : logFile_(logFile) {
  std::vector<std::string> arguments;
  for (const std::string& address : options.listen) {
    arguments.insert(arguments.end(), {"--listen", address});
  }
  for (const std::string& address : options.tlsListen) {
    arguments.insert(arguments.end(), {"--tls-listen", address});
  }
  if (options.metrics) {
    arguments.insert(arguments.end(), {"--metrics", "127.0.0.1:0"});
  }
  arguments.insert(arguments.end(), options.arguments.begin(), options.arguments.end());
  std::string error;
  std::optional<platform::ChildProcess> started =
      platform::ChildProcess::Start(program, arguments, error, logFile.string());
  if (!started) {
    return;
  }
  process_.emplace(std::move(*started));
  const size_t expected =
      options.listen.size() + options.tlsListen.size() + (options.metrics ? 1 : 0);
  for (size_t i = 0; i < expected; ++i) {
    const std::optional<std::string> line =
        process_->ReadLine(std::chrono::duration_cast<std::chrono::milliseconds>(kStartTimeout));
    if (!line) {
      return;
    }
    if (const uint16_t port = PortOf(*line, "listening ")) {
      (ports_.size() < options.listen.size() ? ports_ : tlsPorts_).push_back(port);
    } else if (const uint16_t metricsPort = PortOf(*line, "metrics ")) {
      metricsPort_ = metricsPort;
    } else {
      return;
    }
  }
  ok_ = true;
}

bool ServerProcess::Signal(int signal) {
  return process_ && process_->Signal(signal);
}

std::optional<int> ServerProcess::Wait(std::chrono::milliseconds timeout) {
  return process_ ? process_->Wait(timeout) : std::nullopt;
}

std::optional<uint64_t> ServerProcess::ResidentKib() const {
  return platform::ResidentKib(pid());
}

std::string ServerProcess::Log() const {
  std::ifstream file(logFile_);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::vector<std::string> ServerProcess::ScanLines() const {
  std::vector<std::string> lines;
  std::istringstream log(Log());
  std::string line;
  while (std::getline(log, line)) {
    if (line.rfind("INFO scan ", 0) == 0) {
      lines.push_back(line.substr(5));
    }
  }
  return lines;
}

bool ServerProcess::WaitForLog(const std::string& text, size_t count,
                               std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    const std::string log = Log();
    size_t found = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
      ++found;
    }
    if (found >= count) {
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string ServerProcess::Metrics() const {
  try {
    boost::asio::io_context io;
    boost::asio::ip::tcp::socket socket(io);
    socket.connect({boost::asio::ip::make_address("127.0.0.1"), metricsPort_});
    const std::string request = "GET /metrics HTTP/1.1\r\nHost: localhost\r\n\r\n";
    boost::asio::write(socket, boost::asio::buffer(request));
    std::string response;
    boost::system::error_code error;
    boost::asio::read(socket, boost::asio::dynamic_buffer(response), error);
    const size_t body = response.find("\r\n\r\n");
    return body == std::string::npos ? "" : response.substr(body + 4);
  } catch (const std::exception&) {
    return "";
  }
}

double ServerProcess::Metric(const std::string& name) const {
  std::istringstream text(Metrics());
  std::string line;
  while (std::getline(text, line)) {
    if (line.rfind(name + " ", 0) == 0) {
      return std::stod(line.substr(name.size() + 1));
    }
  }
  return -1;
}

std::string ScanField(const std::string& line, const std::string& field) {
  const std::string key = " " + field + "=";
  const size_t at = line.find(key);
  if (at == std::string::npos) {
    return "";
  }
  const size_t start = at + key.size();
  if (line[start] == '"') {
    return line.substr(start + 1, line.find('"', start + 1) - start - 1);
  }
  return line.substr(start, line.find(' ', start) - start);
}

}  // namespace sondrel::test
