// A program started as a child of this process, whose standard output this process reads line by
// line. The child is asked to stop when the object goes, and the system stops it when this
// process dies, however it dies.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sondrel::platform {

class ChildProcess {
 public:
  // Starts `program` with `arguments`; nothing, with the reason in `error`, when it cannot be
  // started. Its standard error is this process's.
  static std::unique_ptr<ChildProcess> Start(const std::string& program,
                                             const std::vector<std::string>& arguments,
                                             std::string& error);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  int pid() const { return pid_; }
  // The next line of the child's standard output without its line end, waiting at most
  // `timeout` for it; nothing at the end of the output or when the time is up.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
  // Asks the child to stop, waits up to `grace` for it, then kills it. Returns its exit code, or
  // -1 when it did not exit normally.
  int Stop(std::chrono::milliseconds grace);

 private:
  ChildProcess(int pid, int output) : pid_(pid), output_(output) {}

  int pid_;
  int output_;
  std::string buffered_;
  std::optional<int> exitCode_;
};

// The first file named `name` in the directories of the PATH variable that may be executed;
// empty when there is none.
std::string FindOnPath(const std::string& name);
bool IsExecutableFile(const std::string& path);

}  // namespace sondrel::platform
