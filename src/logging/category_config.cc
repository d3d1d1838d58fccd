#include "logging/category_config.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/utf8.h"
#include "xml/decimal.h"
#include "xml/xml_file.h"

namespace sondrel {
namespace {

bool RuleApplies(const TiXmlElement& rule, const std::string& category) {
  const char* name = rule.Attribute("name");
  const std::string_view ruleName = name != nullptr ? name : "";
  if (ruleName == category) {
    return true;
  }
  const char* additivity = rule.Attribute("additivity");
  const bool additive = additivity == nullptr || std::strcmp(additivity, "false") != 0;
  return additive && category.find(ruleName) != std::string::npos;
}

const TiXmlElement* FindRule(const TiXmlElement& root, const std::string& category) {
  for (const TiXmlElement* rule = root.FirstChildElement("category"); rule != nullptr;
       rule = rule->NextSiblingElement("category")) {
    if (RuleApplies(*rule, category)) {
      return rule;
    }
  }
  return nullptr;
}

const TiXmlElement* FindAppender(const TiXmlElement& root, const char* ref) {
  for (const TiXmlElement* appender = root.FirstChildElement("appender"); appender != nullptr;
       appender = appender->NextSiblingElement("appender")) {
    const char* name = appender->Attribute("name");
    if (name != nullptr && std::strcmp(name, ref) == 0) {
      return appender;
    }
  }
  return nullptr;
}

void ReadReloadSettings(const TiXmlElement& root, LoggerSettings& settings) {
  const TiXmlElement* reload = root.FirstChildElement("reloadsettings");
  if (reload == nullptr) {
    return;
  }
  const char* seconds = reload->Attribute("seconds");
  settings.reloadSeconds = ParseLeadingInt(seconds != nullptr ? seconds : "");
  const char* enabled = reload->Attribute("enabled");
  settings.monitor = enabled != nullptr && std::strcmp(enabled, "0") != 0;
}

// Reads the appender's params; true when the file param was found.
bool ReadAppenderParams(const TiXmlElement& appender, uint32_t processId,
                        LoggerSettings& settings) {
  bool haveFile = false;
  settings.MaxBackupIndex = 5;
  settings.MaxFileSize = 10;
  for (const TiXmlElement* param = appender.FirstChildElement("param"); param != nullptr;
       param = param->NextSiblingElement("param")) {
    const char* name = param->Attribute("name");
    const char* value = param->Attribute("value");
    if (name == nullptr) {
      continue;
    }
    const std::string_view valueText = value != nullptr ? value : "";
    if (std::strcmp(name, "file") == 0 && !haveFile) {
      const char* pidformat = param->Attribute("pidformat");
      const bool usePid = pidformat != nullptr && std::strcmp(pidformat, "true") == 0;
      settings.filePath =
          platform::ToWide(usePid ? FormatWithProcessId(valueText, processId) : valueText);
      haveFile = true;
    } else if (std::strcmp(name, "MaxBackupIndex") == 0) {
      settings.MaxBackupIndex = ParseLeadingInt(valueText);
    } else if (std::strcmp(name, "MaxFileSize") == 0) {
      settings.MaxFileSize = ParseLeadingInt(valueText);
    }
  }
  return haveFile;
}

}  // namespace

std::string FormatWithProcessId(std::string_view format, uint32_t processId) {
  std::string out;
  size_t i = 0;
  while (i < format.size()) {
    if (format[i] != '%') {
      out.push_back(format[i++]);
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out.push_back('%');
      i += 2;
      continue;
    }
    size_t end = i + 1;
    while (end < format.size() && std::strchr("-+ #0123456789", format[end]) != nullptr) {
      ++end;
    }
    // Flags and a width of a few digits at most: an absurd width is not a conversion.
    constexpr size_t kLongestSpec = 6;
    if (end < format.size() && end - i <= kLongestSpec &&
        std::strchr("diu", format[end]) != nullptr) {
      const std::string spec(format.substr(i, end - i));
      char buffer[64];
      const int width = std::snprintf(buffer, sizeof buffer, (spec + "u").c_str(), processId);
      if (width > 0) {
        out.append(buffer, std::min<size_t>(static_cast<size_t>(width), sizeof buffer - 1));
      }
      i = end + 1;
    } else {
      out.push_back(format[i++]);
    }
  }
  return out;
}

bool ReadCategoryConfig(const std::wstring& path, uint32_t processId, LoggerSettings& settings) {
  const auto document = LoadXmlFile(path);
  if (!document) {
    return false;
  }
  const TiXmlElement* root = RootElement(*document);
  if (root == nullptr) {
    return false;
  }
  ReadReloadSettings(*root, settings);

  const TiXmlElement* rule = FindRule(*root, settings.category);
  if (rule == nullptr) {
    return false;
  }
  const TiXmlElement* priority = rule->FirstChildElement("priority");
  const char* levelName = priority != nullptr ? priority->Attribute("value") : nullptr;
  settings.level = LevelFromCategoryConfig(levelName != nullptr ? levelName : "");

  const TiXmlElement* appenderRef = rule->FirstChildElement("appender-ref");
  const char* ref = appenderRef != nullptr ? appenderRef->Attribute("ref") : nullptr;
  if (ref == nullptr) {
    return false;
  }
  const TiXmlElement* appender = FindAppender(*root, ref);
  return appender != nullptr && ReadAppenderParams(*appender, processId, settings);
}

}  // namespace sondrel
