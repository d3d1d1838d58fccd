#include "logging/settings_builder.h"

#include "logging/category_config.h"
#include "logging/flat_config.h"
#include "platform/file_system.h"
#include "platform/path.h"

namespace sondrel {
namespace {

std::wstring CategoryConfigPath(const LoggingEnvironment& environment) {
  for (const wchar_t* name : {L"pellan-logger-srv.xml", L"pellan-logger-cl.xml"}) {
    std::wstring path = environment.exeDir + name;
    if (platform::FileExists(path)) {
      return path;
    }
  }
  return {};
}

}  // namespace

bool EnsureDirectory(const std::wstring& path) {
  if (path.empty() || platform::DirectoryExists(path)) {
    return true;
  }
  const std::wstring parent = platform::PathParent(path);
  if (!parent.empty() && parent != path && !EnsureDirectory(parent)) {
    return false;
  }
  return platform::CreateDirectory(path) != platform::CreateDirectoryResult::kFailed;
}

LoggerSettings BuildLoggerSettings(const std::string& category,
                                   const LoggingEnvironment& environment) {
  LoggerSettings settings;
  settings.category = category;
  settings.configPath = CategoryConfigPath(environment);
  const bool categoryFormat =
      !settings.configPath.empty() &&
      ReadCategoryConfig(settings.configPath, environment.processId, settings);
  if (!categoryFormat) {
    ApplyFlatConfig(environment, settings);
  }
  if (settings.level >= 0) {
    EnsureDirectory(platform::PathParent(settings.filePath));
  }
  settings.loaded = true;
  return settings;
}

}  // namespace sondrel
