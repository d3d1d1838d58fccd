#include "support/log_capture.h"

#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include "logging/logging_environment.h"
#include "support/temp_dir.h"

namespace sondrel::test {
namespace {

std::unique_ptr<TempDir>& LogDirectory() {
  static std::unique_ptr<TempDir> directory;
  return directory;
}

std::uintmax_t FileSize(const std::filesystem::path& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? 0 : size;
}

}  // namespace

const std::filesystem::path& TestLogFile() {
  static const std::filesystem::path file = LogDirectory()->path() / "sondrel-test.log";
  return file;
}

void InstallTestLogging() {
  LogDirectory() = std::make_unique<TempDir>();
  const std::string config =
      "<configuration>\n"
      "  <category name=\"qx\"><priority value=\"trace\"/><appender-ref ref=\"test\"/></category>\n"
      "  <appender name=\"test\">\n"
      "    <param name=\"file\" value=\"" +
      TestLogFile().string() +
      "\"/>\n"
      "    <param name=\"MaxFileSize\" value=\"1024\"/>\n"
      "  </appender>\n"
      "</configuration>\n";
  LogDirectory()->Write("pellan-logger-cl.xml", config);
  LoggingEnvironment environment = ProcessLoggingEnvironment();
  environment.exeDir = LogDirectory()->wide();
  SetLoggingEnvironment(std::move(environment));
}

LogCapture::LogCapture() : start_(FileSize(TestLogFile())) {}

std::vector<std::string> LogCapture::Lines() const {
  std::ifstream in(TestLogFile(), std::ios::binary);
  in.seekg(static_cast<std::streamoff>(start_));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> LogCapture::Messages() const {
  std::vector<std::string> messages;
  for (const std::string& line : Lines()) {
    const auto separator = line.find("] - ");
    messages.push_back(separator == std::string::npos ? line : line.substr(separator + 4));
  }
  return messages;
}

bool LogCapture::Contains(std::string_view fragment) const {
  return Count(fragment) > 0;
}

size_t LogCapture::Count(std::string_view fragment) const {
  size_t count = 0;
  for (const std::string& line : Lines()) {
    count += line.find(fragment) != std::string::npos ? 1 : 0;
  }
  return count;
}

bool LogCapture::WaitFor(std::string_view fragment, int timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!Contains(fragment)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace sondrel::test
