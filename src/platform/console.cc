#include "platform/console.h"

#include <fnmatch.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <string>

namespace sondrel::platform {
namespace {

volatile sig_atomic_t childToStop = 0;

void StopChildAndEnd(int signalNumber) {
  if (childToStop > 0) {
    kill(childToStop, SIGTERM);
  }
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

}  // namespace

bool StandardErrorIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

bool MatchesPattern(std::string_view pattern, std::string_view name) {
  return fnmatch(std::string(pattern).c_str(), std::string(name).c_str(), 0) == 0;
}

void StopChildOnSignals(int pid) {
  childToStop = pid;
  struct sigaction action {};
  action.sa_handler = &StopChildAndEnd;
  sigemptyset(&action.sa_mask);
  for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    sigaction(signalNumber, &action, nullptr);
  }
}

}  // namespace sondrel::platform
