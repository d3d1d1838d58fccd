// Reads what the library logged during a test. The test main points the logging facility at a
// private directory where every "qx" category writes at TRACE level into one file; a LogCapture
// sees the lines written after its construction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sondrel::test {

// The file every library logger writes to in tests.
const std::filesystem::path& TestLogFile();
// Installs the test logging environment (called once by the test main).
void InstallTestLogging();

class LogCapture {
 public:
  LogCapture();

  // The lines written since construction, without the trailing newline.
  std::vector<std::string> Lines() const;
  // The message part of those lines (after " - "), for exact comparisons.
  std::vector<std::string> Messages() const;
  bool Contains(std::string_view fragment) const;
  size_t Count(std::string_view fragment) const;
  // Waits up to timeoutMs for a line containing the fragment (lines written by other threads).
  bool WaitFor(std::string_view fragment, int timeoutMs = 5000) const;

 private:
  std::uintmax_t start_;
};

}  // namespace sondrel::test
