#include "tools/scan/host_setup.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/environment.h"
#include "sondrel/sondrel.h"

namespace sondrel::scan_tool {
namespace {

std::string XmlText(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// The flat logging configuration: the level, and either the debugger output (standard error on
// this platform) or a log file in `directory`.
std::string LoggingConfiguration(const std::optional<std::string>& logDir,
                                 const std::string& fallbackDirectory) {
  std::ostringstream xml;
  xml << "<logger>\n  <enable>1</enable>\n"
      << "  <level>" << (logDir ? "info" : "warn") << "</level>\n"
      << "  <size>10240</size>\n"
      << "  <type>" << (logDir ? "TXT" : "DBG") << "</type>\n"
      << "  <monitor_settings>0</monitor_settings>\n"
      << "  <path>" << XmlText(logDir ? *logDir : fallbackDirectory) << "</path>\n"
      << "</logger>\n";
  return xml.str();
}

bool WriteFile(const std::string& path, const std::string& content) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << content;
  return static_cast<bool>(file.flush());
}

}  // namespace

std::optional<std::string> SettingsFileFor(const std::vector<tools::ServerSpec>& servers,
                                           int timeoutSeconds, std::string& error) {
  std::optional<uint16_t> plainPort;
  std::optional<uint16_t> tlsPort;
  std::ostringstream list;
  for (const tools::ServerSpec& server : servers) {
    std::optional<uint16_t>& port = server.tls ? tlsPort : plainPort;
    if (port && *port != server.port) {
      error = std::string("all ") + (server.tls ? "TLS" : "plain") +
              " servers must use the same port (the settings file has one for each)";
      return std::nullopt;
    }
    port = server.port;
    list << "    <server><address>" << XmlText(server.address) << "</address><priority>"
         << server.priority << "</priority><useSSL>" << (server.tls ? 1 : 0)
         << "</useSSL></server>\n";
  }
  std::ostringstream xml;
  xml << "<qxcore>\n  <servers>\n"
      << list.str() << "  </servers>\n"
      << "  <port>" << plainPort.value_or(7081) << "</port>\n"
      << "  <portSSL>" << tlsPort.value_or(7083) << "</portSSL>\n"
      << "  <timeout>" << timeoutSeconds * 1000 << "</timeout>\n"
      << "  <timeoutdis>" << timeoutSeconds * 1000 << "</timeoutdis>\n"
      << "  <usecache>1</usecache>\n  <uselocalcache>1</uselocalcache>\n"
      << "  <enablescan>1</enablescan>\n  <scanlocaliferror>0</scanlocaliferror>\n"
      << "</qxcore>\n";
  return xml.str();
}

HostSetup::~HostSetup() {
  if (!directory_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }
}

bool HostSetup::MakeDirectory(std::ostream& err) {
  if (directory_.empty()) {
    directory_ = platform::MakePrivateTemporaryDirectory("sondrel-scan.");
    if (directory_.empty()) {
      err << "sondrel-scan: cannot make a temporary directory\n";
      return false;
    }
  }
  return true;
}

bool HostSetup::Prepare(const HostSettings& settings, std::ostream& err) {
  if (!settings.servers.empty()) {
    std::string error;
    const std::optional<std::string> xml =
        SettingsFileFor(settings.servers, settings.timeoutSeconds, error);
    if (!xml) {
      err << "sondrel-scan: " << error << "\n";
      return false;
    }
    const std::string path =
        directory_.empty() && !MakeDirectory(err) ? std::string() : directory_ + "/qxcore.xml";
    if (path.empty() || !WriteFile(path, *xml)) {
      err << "sondrel-scan: cannot write the settings file\n";
      return false;
    }
    platform::SetEnvironment(SONDREL_ENV_SETTINGS_FILE, path);
  } else if (settings.settingsFile) {
    platform::SetEnvironment(SONDREL_ENV_SETTINGS_FILE,
                             std::filesystem::absolute(*settings.settingsFile).string());
  }
  // A logging configuration named by the environment is the user's choice, unless --log-dir.
  if (settings.logDir || !platform::EnvironmentPath(SONDREL_ENV_LOG_CONFIG_DIR)) {
    if (!MakeDirectory(err)) {
      return false;
    }
    const std::optional<std::string> logDir =
        settings.logDir ? std::optional(std::filesystem::absolute(*settings.logDir).string())
                        : std::nullopt;
    if (!WriteFile(directory_ + "/Logger.xml", LoggingConfiguration(logDir, directory_))) {
      err << "sondrel-scan: cannot write the logging configuration\n";
      return false;
    }
    platform::SetEnvironment(SONDREL_ENV_LOG_CONFIG_DIR, directory_);
  }
  return true;
}

}  // namespace sondrel::scan_tool
