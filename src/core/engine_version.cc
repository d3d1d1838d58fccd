#include "core/engine_version.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/file_system.h"

namespace sondrel {
namespace {

constexpr std::string_view kVersionPrefix = "Version: ";
// The longest piece of a line read at once; a longer line continues in the next piece.
constexpr int kLinePiece = 255;

}  // namespace

std::string ReadEngineVersion(const std::wstring& engineDirectory) {
  const std::string path = platform::NativePath(engineDirectory + L"/update.txt");
  const std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "r"),
                                                                &std::fclose);
  if (file == nullptr) {
    return {};
  }
  char line[kLinePiece + 1];
  while (std::fgets(line, sizeof(line), file.get()) != nullptr) {
    const std::string_view text(line, std::strcspn(line, "\r\n"));
    if (text.starts_with(kVersionPrefix)) {
      return std::string(text.substr(kVersionPrefix.size()));
    }
  }
  return {};
}

}  // namespace sondrel
