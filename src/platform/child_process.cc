#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace sondrel::platform {
namespace {

// In the child: reports a failure to the parent through the close-on-exec pipe, then ends.
[[noreturn]] void ChildFailed(int reportFd) {
  const int error = errno;
  [[maybe_unused]] const ssize_t written = write(reportFd, &error, sizeof(error));
  _exit(127);
}

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void BecomeProgram(const char* program, char* const* argv, int stdoutFd,
                                const char* stderrPath, pid_t parent, int reportFd) {
  // The child stops when the parent's thread ends, even when the parent is killed outright.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) {
    _exit(127);
  }
  const int input = open("/dev/null", O_RDONLY);
  if (input < 0 || dup2(input, STDIN_FILENO) < 0 || dup2(stdoutFd, STDOUT_FILENO) < 0) {
    ChildFailed(reportFd);
  }
  if (stderrPath != nullptr) {
    const int errors = open(stderrPath, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (errors < 0 || dup2(errors, STDERR_FILENO) < 0) {
      ChildFailed(reportFd);
    }
  }
  execv(program, argv);
  ChildFailed(reportFd);
}

}  // namespace

std::optional<ChildProcess> ChildProcess::Start(const std::string& program,
                                                const std::vector<std::string>& arguments,
                                                std::string& error, const std::string& stderrPath) {
  int output[2];
  int report[2];
  if (pipe2(output, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    return std::nullopt;
  }
  if (pipe2(report, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    close(output[0]);
    close(output[1]);
    return std::nullopt;
  }
  std::vector<std::string> copies{program};
  copies.insert(copies.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : copies) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    BecomeProgram(program.c_str(), argv.data(), output[1],
                  stderrPath.empty() ? nullptr : stderrPath.c_str(), parent, report[1]);
  }
  close(output[1]);
  close(report[1]);
  if (pid < 0) {
    error = std::strerror(errno);
    close(output[0]);
    close(report[0]);
    return std::nullopt;
  }
  int childError = 0;
  ssize_t got = 0;
  while ((got = read(report[0], &childError, sizeof(childError))) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (got == sizeof(childError)) {
    error = std::strerror(childError);
    close(output[0]);
    waitpid(pid, nullptr, 0);
    return std::nullopt;
  }
  return ChildProcess(pid, output[0]);
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(other.pid_),
      stdoutFd_(other.stdoutFd_),
      pending_(std::move(other.pending_)),
      exitCode_(other.exitCode_) {
  other.pid_ = -1;
  other.stdoutFd_ = -1;
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exitCode_) {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  if (stdoutFd_ >= 0) {
    close(stdoutFd_);
  }
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    const size_t newline = pending_.find('\n');
    if (newline != std::string::npos) {
      std::string line = pending_.substr(0, newline);
      pending_.erase(0, newline + 1);
      return line;
    }
    if (stdoutFd_ < 0) {
      return std::nullopt;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return std::nullopt;
    }
    pollfd poller{stdoutFd_, POLLIN, 0};
    const int ready = poll(&poller, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready <= 0) {
      return std::nullopt;
    }
    char buffer[4096];
    const ssize_t got = read(stdoutFd_, buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      close(stdoutFd_);
      stdoutFd_ = -1;
      continue;
    }
    pending_.append(buffer, static_cast<size_t>(got));
  }
}

bool ChildProcess::Signal(int signal) {
  return pid_ > 0 && !exitCode_ && kill(pid_, signal) == 0;
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!exitCode_ && pid_ > 0) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return exitCode_;
}

int ChildProcess::Stop(std::chrono::milliseconds grace) {
  Signal(SIGTERM);
  if (const std::optional<int> code = Wait(grace)) {
    return *code;
  }
  Signal(SIGKILL);
  return Wait(std::chrono::hours(1)).value_or(-1);
}

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) {
    return {};
  }
  std::istringstream directories(path);
  std::string directory;
  while (std::getline(directories, directory, ':')) {
    const std::string candidate = (directory.empty() ? "." : directory) + "/" + name;
    if (IsExecutableFile(candidate)) {
      return candidate;
    }
  }
  return {};
}

std::optional<uint64_t> ResidentKib(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) {
      std::istringstream fields(line.substr(6));
      uint64_t kib = 0;
      if (fields >> kib) {
        return kib;
      }
    }
  }
  return std::nullopt;
}

uint64_t RaiseOpenFileLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
    return 0;
  }
  if (limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
  }
  return limit.rlim_cur;
}

}  // namespace sondrel::platform
