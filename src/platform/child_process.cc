#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

namespace sondrel::platform {
namespace {

// Reports a failed exec to the parent through the close-on-exec pipe, then ends the child.
[[noreturn]] void ExecFailed(int reportFd) {
  const int error = errno;
  [[maybe_unused]] const ssize_t written = write(reportFd, &error, sizeof(error));
  _exit(127);
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::string& program,
                                                  const std::vector<std::string>& arguments,
                                                  std::string& error) {
  int output[2];
  int report[2];
  if (pipe2(output, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    return nullptr;
  }
  if (pipe2(report, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    close(output[0]);
    close(output[1]);
    return nullptr;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // The child stops when the parent dies, even when the parent is killed outright.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) {
      _exit(127);
    }
    if (dup2(output[1], STDOUT_FILENO) < 0) {
      ExecFailed(report[1]);
    }
    execv(program.c_str(), argv.data());
    ExecFailed(report[1]);
  }
  close(output[1]);
  close(report[1]);
  if (pid < 0) {
    error = std::strerror(errno);
    close(output[0]);
    close(report[0]);
    return nullptr;
  }
  int execError = 0;
  const ssize_t got = read(report[0], &execError, sizeof(execError));
  close(report[0]);
  if (got == sizeof(execError)) {
    error = std::strerror(execError);
    close(output[0]);
    waitpid(pid, nullptr, 0);
    return nullptr;
  }
  return std::unique_ptr<ChildProcess>(new ChildProcess(pid, output[0]));
}

ChildProcess::~ChildProcess() {
  Stop(std::chrono::seconds(5));
  close(output_);
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (const size_t end = buffered_.find('\n'); end != std::string::npos) {
      std::string line = buffered_.substr(0, end);
      buffered_.erase(0, end + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return std::nullopt;
    }
    pollfd ready{output_, POLLIN, 0};
    const int polled = poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR) {
      continue;
    }
    if (polled <= 0) {
      return std::nullopt;
    }
    char chunk[512];
    const ssize_t got = read(output_, chunk, sizeof(chunk));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return std::nullopt;
    }
    buffered_.append(chunk, static_cast<size_t>(got));
  }
}

int ChildProcess::Stop(std::chrono::milliseconds grace) {
  if (exitCode_) {
    return *exitCode_;
  }
  kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + grace;
  int status = 0;
  pid_t done = 0;
  while ((done = waitpid(pid_, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (done == 0) {
    kill(pid_, SIGKILL);
    done = waitpid(pid_, &status, 0);
  }
  exitCode_ = done == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return *exitCode_;
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

}  // namespace sondrel::platform
