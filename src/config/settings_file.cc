#include "config/settings_file.h"

#include "platform/file_system.h"
#include "platform/path.h"
#include "xml/decimal.h"
#include "xml/xml_file.h"

namespace sondrel {
namespace {

constexpr int kDirectoriesSearched = 3;

std::wstring Candidate(std::wstring_view directory) {
  return platform::PathJoin(platform::PathJoin(directory, L"settings"), L"qxcore.xml");
}

// Keys are compared exactly, case included; the first element of a name counts.
std::string TextOr(const TiXmlElement& parent, const char* name, const char* absent) {
  const TiXmlElement* element = parent.FirstChildElement(name);
  return element != nullptr ? ElementText(*element) : std::string(absent);
}

int32_t IntOr(const TiXmlElement& parent, const char* name, int32_t absent) {
  const TiXmlElement* element = parent.FirstChildElement(name);
  return element != nullptr ? ParseLeadingInt(ElementText(*element)) : absent;
}

void ReadInt(const TiXmlElement& root, const char* name, int32_t& field) {
  field = IntOr(root, name, field);
}

bool ReadServers(const TiXmlElement& root, const std::string& port, const std::string& portSSL,
                 std::vector<FileServerEntry>& servers) {
  servers.clear();
  const TiXmlElement* single = root.FirstChildElement("server");
  const TiXmlElement* list = root.FirstChildElement("servers");
  if (single != nullptr) {
    FileServerEntry entry;
    entry.address = ElementText(*single);
    entry.useSSL = IntOr(root, "useSSL", 0);
    entry.port = port;
    entry.portSSL = portSSL;
    servers.push_back(std::move(entry));
  }
  if (list != nullptr) {
    for (const TiXmlElement* server = list->FirstChildElement("server"); server != nullptr;
         server = server->NextSiblingElement("server")) {
      const TiXmlElement* address = server->FirstChildElement("address");
      if (address == nullptr) {
        return false;
      }
      FileServerEntry entry;
      entry.address = ElementText(*address);
      entry.priority = IntOr(*server, "priority", 0);
      entry.enforced = IntOr(*server, "enforced", 0);
      entry.useSSL = IntOr(*server, "useSSL", 0);
      entry.tlsPin = TextOr(*server, "tlspin", "");
      entry.port = port;
      entry.portSSL = portSSL;
      servers.push_back(std::move(entry));
    }
  }
  return single != nullptr || list != nullptr;
}

}  // namespace

std::wstring LocateSettingsFile(std::wstring_view startDirectory) {
  std::wstring directory(startDirectory);
  for (int i = 0; i < kDirectoriesSearched; ++i) {
    std::wstring candidate = Candidate(directory);
    if (platform::FileExists(candidate)) {
      return candidate;
    }
    platform::PathRemoveSeparator(directory);
    platform::PathRemoveFileSpec(directory);
  }
  return Candidate(startDirectory);
}

bool ReadSettingsFile(const std::wstring& path, SettingsFileRecord& record) {
  const auto document = LoadXmlFile(path);
  const TiXmlElement* root = document ? RootElement(*document) : nullptr;
  if (root == nullptr) {
    return false;
  }
  const std::string port = TextOr(*root, "port", "7081");
  const std::string portSSL = TextOr(*root, "portSSL", "7083");
  if (!ReadServers(*root, port, portSSL, record.servers)) {
    return false;
  }
  ReadInt(*root, "timeout", record.timeout);
  ReadInt(*root, "timeoutdis", record.timeoutDisinfect);
  ReadInt(*root, "compressionlevel", record.compressionLevel);
  ReadInt(*root, "compressionminbytes", record.compressionMinBytes);
  ReadInt(*root, "connectasync", record.connectAsync);
  ReadInt(*root, "usecache", record.useCache);
  ReadInt(*root, "uselocalcache", record.useLocalCache);
  ReadInt(*root, "disinfectonly", record.disinfectOnly);
  ReadInt(*root, "cleansystem", record.cleanSystem);
  ReadInt(*root, "cachenonpe", record.cacheNonPE);
  ReadInt(*root, "hashnonpe", record.hashNonPE);
  ReadInt(*root, "hashsmallnonpe", record.hashSmallNonPE);
  ReadInt(*root, "sendinitialbuffer", record.sendInitialBuffer);
  ReadInt(*root, "innitialbuffersize", record.initialBufferSize);
  ReadInt(*root, "cachemisscountbufsend", record.cachemissCountBuffsend);
  record.region = TextOr(*root, "region", "");
  ReadInt(*root, "cachetreshold", record.cacheTreshold);
  ReadInt(*root, "overloadedserverlimit", record.overloadedServerLimit);
  ReadInt(*root, "underloadedserverlimit", record.underloadedServerLimit);
  ReadInt(*root, "minserverconnections", record.minServerConnections);
  ReadInt(*root, "maxserverconnections", record.maxServerConnections);
  ReadInt(*root, "acceptconnectsameserver", record.acceptConnectSameServer);
  ReadInt(*root, "reconnectInterval", record.reconnectInterval);
  ReadInt(*root, "scanlocaliferror", record.scanLocalIfError);
  ReadInt(*root, "enablescan", record.enableScan);
  ReadInt(*root, "extractonserver", record.extractOnServer);
  ReadInt(*root, "maxsizeserverextract", record.maxSizeServerExtract);
  record.tlsCaFile = TextOr(*root, "tlscafile", "");
  record.tlsCaPath = TextOr(*root, "tlscapath", "");
  ReadInt(*root, "tlsverifyhost", record.tlsVerifyHost);
  record.tlsPin = TextOr(*root, "tlspin", "");
  record.tlsClientCert = TextOr(*root, "tlsclientcert", "");
  record.tlsClientKey = TextOr(*root, "tlsclientkey", "");
  return true;
}

}  // namespace sondrel
