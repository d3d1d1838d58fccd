#include "logging/flat_config.h"

#include <algorithm>
#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/utf8.h"
#include "xml/decimal.h"
#include "xml/xml_file.h"

namespace sondrel {
namespace {

std::wstring FlatConfigPath(const LoggingEnvironment& environment) {
  std::wstring baseName(environment.exeName);
  platform::PathRemoveExtension(baseName);
  const std::wstring own = environment.exeDir + baseName + L".Logger.xml";
  if (!baseName.empty() && platform::FileExists(own)) {
    return own;
  }
  const std::wstring shared = environment.exeDir + L"Logger.xml";
  return platform::FileExists(shared) ? shared : std::wstring();
}

std::wstring LogFileName(const LoggingEnvironment& environment) {
  return L"kalvix" + std::to_wstring(environment.processId) + L".log";
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

struct ProductNames {
  std::string manufacturer;
  std::string internalProductName;
};

std::optional<ProductNames> ReadProductFile(const LoggingEnvironment& environment) {
  const auto document = LoadXmlFile(environment.exeDir + L"ServConfig.xml");
  const TiXmlElement* root = document ? RootElement(*document) : nullptr;
  if (root == nullptr) {
    return std::nullopt;
  }
  ProductNames names;
  const TiXmlElement* operations = root->FirstChildElement("operations");
  if (operations == nullptr) {
    return names;
  }
  for (const TiXmlElement* value = operations->FirstChildElement("value"); value != nullptr;
       value = value->NextSiblingElement("value")) {
    const char* var = value->Attribute("var");
    if (var == nullptr) {
      continue;
    }
    if (EqualsIgnoringCase(var, "MANUFACTURER")) {
      names.manufacturer = ElementText(*value);
    } else if (EqualsIgnoringCase(var, "INTERNALPRODUCTNAME")) {
      names.internalProductName = ElementText(*value);
    }
  }
  return names;
}

// The log directory for the path element: absolute as written, relative under the application
// data folder of the product. Nothing when the relative form cannot be placed.
std::optional<std::wstring> LogDirectory(const LoggingEnvironment& environment,
                                         const std::wstring& path) {
  if (!platform::PathIsRelative(path)) {
    return path;
  }
  const auto product = ReadProductFile(environment);
  if (environment.commonAppData.empty() || !product) {
    return std::nullopt;
  }
  std::wstring directory =
      platform::PathJoin(environment.commonAppData, platform::ToWide(product->manufacturer));
  directory = platform::PathJoin(directory, platform::ToWide(product->internalProductName));
  return platform::PathJoin(directory, path);
}

}  // namespace

void ApplyFlatConfig(const LoggingEnvironment& environment, LoggerSettings& settings) {
  std::optional<std::string> levelText;
  bool enabled = true;

  const auto readAll = [&]() -> bool {
    const std::wstring configPath = FlatConfigPath(environment);
    if (configPath.empty()) {
      return false;
    }
    const auto document = LoadXmlFile(configPath);
    const TiXmlElement* root = document ? RootElement(*document) : nullptr;
    if (root == nullptr) {
      return false;
    }
    settings.configPath = configPath;

    const TiXmlElement* enable = root->FirstChildElement("enable");
    if (enable == nullptr) {
      return false;
    }
    enabled = ElementText(*enable) == "1";
    if (enabled) {
      const TiXmlElement* level = root->FirstChildElement("level");
      if (level == nullptr) {
        return false;
      }
      levelText = ElementText(*level);
    }
    const TiXmlElement* size = root->FirstChildElement("size");
    const TiXmlElement* type = root->FirstChildElement("type");
    if (size == nullptr || type == nullptr) {
      return false;
    }
    const int32_t maxFileSize = ParseLeadingInt(ElementText(*size)) / 1024;
    const std::string typeText = ElementText(*type);
    const bool text = typeText.find("TXT") != std::string::npos;
    const bool debugger = typeText.find("DBG") != std::string::npos;
    settings.outputType = text && debugger ? kOutputBoth : debugger ? kOutputDebugger : kOutputFile;

    const TiXmlElement* monitor = root->FirstChildElement("monitor_settings");
    settings.monitor = monitor == nullptr || EqualsIgnoringCase(ElementText(*monitor), "1");
    settings.reloadSeconds = settings.monitor ? 30 : 0;

    const TiXmlElement* path = root->FirstChildElement("path");
    if (path == nullptr) {
      return false;
    }
    const auto directory = LogDirectory(environment, platform::ToWide(ElementText(*path)));
    if (!directory) {
      return false;
    }
    settings.filePath = platform::PathJoin(*directory, LogFileName(environment));
    settings.MaxFileSize = maxFileSize;
    settings.MaxBackupIndex = 5;
    return true;
  };

  if (!readAll()) {
    settings.filePath = environment.exeDir + LogFileName(environment);
    settings.MaxFileSize = 10;
    settings.MaxBackupIndex = 5;
  }
  settings.level = !enabled ? kLevelNone : levelText ? LevelFromFlatConfig(*levelText) : kLevelInfo;
}

}  // namespace sondrel
