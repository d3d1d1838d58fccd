// A program started as a child of this process, whose standard output this process reads line by
// line: how tools and tests run a scan server. The system stops the child with SIGTERM when the
// thread that started it ends, however it ends, so that no child outlives a crashed parent.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sondrel::platform {

class ChildProcess {
 public:
  // Starts `program` with `arguments`, its standard input empty; its standard error goes to
  // `stderrPath` (appended) or, when that is empty, to this process's. Nothing, with the reason
  // in `error`, when the program cannot be started.
  static std::optional<ChildProcess> Start(const std::string& program,
                                           const std::vector<std::string>& arguments,
                                           std::string& error, const std::string& stderrPath = {});
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) = delete;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // Kills the process if it is still running and reaps it.
  ~ChildProcess();

  int pid() const { return pid_; }
  // The next line of standard output without its newline; nothing at the end of the output or
  // when no line came within the time-out.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
  // Sends a signal (SIGTERM, SIGKILL, SIGHUP...).
  bool Signal(int signal);
  // Waits for the process to end: its exit code, 128 + the signal when a signal ended it, or
  // nothing on time-out.
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  // Asks the process to stop (SIGTERM), waits up to `grace`, then kills it; what Wait gives.
  int Stop(std::chrono::milliseconds grace);

 private:
  ChildProcess(int pid, int stdoutFd) : pid_(pid), stdoutFd_(stdoutFd) {}

  int pid_ = -1;
  int stdoutFd_ = -1;
  std::string pending_;
  std::optional<int> exitCode_;
};

// The first file named `name` in the directories of the PATH variable that may be executed;
// empty when there is none.
std::string FindOnPath(const std::string& name);
bool IsExecutableFile(const std::string& path);

// The process's resident memory in KiB (VmRSS of /proc/PID/status), or nothing.
std::optional<uint64_t> ResidentKib(int pid);
// Raises the soft limit of open files to the hard limit; returns the limit now in force.
uint64_t RaiseOpenFileLimit();

}  // namespace sondrel::platform
