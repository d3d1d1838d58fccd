#include "platform/debug_output.h"

#include <unistd.h>

namespace sondrel::platform {

void DebugOutput(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = write(STDERR_FILENO, text.data(), text.size());
    if (written <= 0) {
      return;
    }
    text.remove_prefix(static_cast<size_t>(written));
  }
}

}  // namespace sondrel::platform
