// sondrel-test-host run in the background from a directory the test has prepared (the library,
// the companions, their files), and driven through its command and answer files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace sondrel::test {

class HostProcess {
 public:
  struct ScanOutcome {
    int32_t status = 0;
    int32_t verdict = 0;
    int32_t flags = 0;
  };

  // Copies the program into `bin` and starts it there with `file` to scan; waits for its
  // CoreInit.
  HostProcess(const std::filesystem::path& bin, const std::filesystem::path& file);
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;
  // Quits the program when the test did not.
  ~HostProcess();

  // CoreInit's result, or nothing when the program did not get that far.
  std::optional<int32_t> initResult() const { return initResult_; }
  // One scan of the file; nothing when the program did not answer in time.
  std::optional<ScanOutcome> Scan(int timeoutMs = 15000);
  // The final CoreUninit: the program's exit code, or -1 when it did not end in time.
  int Quit(int timeoutMs = 15000);

 private:
  // Appends a command and waits for the answer line that starts with `prefix`.
  std::optional<std::string> Command(const std::string& command, const std::string& prefix,
                                     int timeoutMs);
  std::optional<std::string> WaitForLine(const std::string& prefix, int timeoutMs) const;

  const std::filesystem::path bin_;
  std::optional<int32_t> initResult_;
  int next_ = 1;
  bool running_ = false;
};

}  // namespace sondrel::test
