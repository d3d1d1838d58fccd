// A real sondrel-server started for a test: on loopback with ephemeral ports, its "listening"
// lines read from its standard output, its log kept in a file the test can search.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/child_process.h"

namespace sondrel::test {

struct ServerProcessOptions {
  // Plain listeners; "127.0.0.1:0" unless other addresses are given.
  std::vector<std::string> listen = {"127.0.0.1:0"};
  std::vector<std::string> tlsListen;
  bool metrics = false;
  // Further options, appended as they are.
  std::vector<std::string> arguments;
};

class ServerProcess {
 public:
  // Starts the server and waits for its listening lines; `ok()` tells whether that worked.
  ServerProcess(const std::string& program, const std::filesystem::path& logFile,
                ServerProcessOptions options = {});

  bool ok() const { return ok_; }
  int pid() const { return process_ ? process_->pid() : -1; }
  uint16_t port(size_t listener = 0) const { return ports_.at(listener); }
  uint16_t tlsPort(size_t listener = 0) const { return tlsPorts_.at(listener); }
  uint16_t metricsPort() const { return metricsPort_; }

  bool Signal(int signal);
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  std::optional<uint64_t> ResidentKib() const;

  // The log so far.
  std::string Log() const;
  // The scan log lines so far (without their level).
  std::vector<std::string> ScanLines() const;
  // Waits until the log holds `count` lines containing `text`.
  bool WaitForLog(const std::string& text, size_t count = 1,
                  std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  // GET /metrics; empty when it fails.
  std::string Metrics() const;
  // The value of an unlabelled metric (or one with its labels written out), or -1.
  double Metric(const std::string& name) const;

 private:
  std::filesystem::path logFile_;
  std::optional<platform::ChildProcess> process_;
  std::vector<uint16_t> ports_;
  std::vector<uint16_t> tlsPorts_;
  uint16_t metricsPort_ = 0;
  bool ok_ = false;
};

// A field of a scan log line, such as "pulled" or "outcome"; empty when the line has none.
std::string ScanField(const std::string& line, const std::string& field);

}  // namespace sondrel::test
