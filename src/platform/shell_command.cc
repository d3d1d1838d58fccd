#include "platform/shell_command.h"

#include <sys/wait.h>

#include <cstdlib>

namespace sondrel::platform {

int RunShellCommand(const std::string& command) {
  const int status = std::system(command.c_str());
  if (status == -1 || !WIFEXITED(status)) {
    return -1;
  }
  return WEXITSTATUS(status);
}

}  // namespace sondrel::platform
