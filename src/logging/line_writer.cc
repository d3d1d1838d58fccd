#include "logging/line_writer.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <cstdio>

#include "logging/logger.h"
#include "platform/debug_output.h"
#include "platform/file_system.h"
#include "platform/process_info.h"

namespace sondrel {
namespace {

constexpr int64_t kMiB = 1024 * 1024;
constexpr size_t kCategoryColumns = 20;
constexpr size_t kLevelColumns = 5;

std::wstring Backup(const std::wstring& base, int32_t k) {
  return base + L"." + std::to_wstring(k);
}

// Appends the line and returns the file's size after it, or -1 when the file cannot be opened.
int64_t AppendToFile(const std::wstring& path, const std::string& line) {
  std::FILE* file = std::fopen(platform::NativePath(path).c_str(), "a");
  if (file == nullptr) {
    return -1;
  }
  std::fwrite(line.data(), 1, line.size(), file);
  const int64_t size = std::ftell(file);
  std::fclose(file);
  return size;
}

}  // namespace

std::string FormatLogLine(std::string_view levelName, const boost::posix_time::ptime& time,
                          uint32_t threadId, std::string_view category, std::string_view text) {
  std::string line(levelName);
  if (line.size() < kLevelColumns) {
    line.append(kLevelColumns - line.size(), ' ');
  }
  line += ' ';
  line += boost::posix_time::to_simple_string(time);
  char thread[16];
  std::snprintf(thread, sizeof thread, " [%08x] [", threadId);
  line += thread;
  const std::string_view cut = category.substr(0, kCategoryColumns);
  line += cut;
  line.append(kCategoryColumns - cut.size(), ' ');
  line += "] - ";
  line += text;
  line += '\n';
  return line;
}

void RollOver(const LoggerSettings& snapshot) {
  const std::wstring& base = snapshot.filePath;
  const int32_t n = snapshot.MaxBackupIndex;
  int32_t i = 1;
  if (n >= 2) {
    while (i < n && platform::FileExists(Backup(base, i))) {
      ++i;
    }
  }
  if (i == n) {
    --i;
    platform::DeleteFile(Backup(base, i));
  }
  for (; i > 1; --i) {
    platform::MoveFileReplace(Backup(base, i - 1), Backup(base, i));
  }
  platform::MoveFileReplace(base, Backup(base, 1));
}

void WriteLine(std::string_view levelName, std::string_view text, Logger& logger,
               const LoggerSettings& snapshot) {
  if (!snapshot.loaded || snapshot.filePath.empty()) {
    return;
  }
  const std::string line = FormatLogLine(levelName, boost::posix_time::microsec_clock::local_time(),
                                         platform::CurrentThreadId(), snapshot.category, text);
  if (snapshot.outputType == kOutputDebugger || snapshot.outputType == kOutputBoth) {
    platform::DebugOutput(line);
  }
  if (snapshot.outputType == kOutputFile || snapshot.outputType == kOutputBoth) {
    const int64_t size = AppendToFile(snapshot.filePath, line);
    if (size < 0) {
      logger.Silence();
    } else if (size >= int64_t{snapshot.MaxFileSize} * kMiB) {
      RollOver(snapshot);
    }
  }
  if (snapshot.monitor) {
    logger.ReloadIfDue(snapshot.reloadSeconds);
  }
}

}  // namespace sondrel
