#include "config/settings_file_record.h"

#include "platform/utf8.h"
#include "xml/decimal.h"

namespace sondrel {

void ApplyFileRecord(const SettingsFileRecord& record, Settings& settings) {
  settings.timeout = record.timeout;
  settings.timeoutDisinfect = record.timeoutDisinfect;
  settings.compressionLevel = record.compressionLevel;
  settings.compressionMinBytes = record.compressionMinBytes;
  settings.connectAsync = record.connectAsync != 0;
  settings.useCache = record.useCache != 0;
  settings.useLocalCache = record.useLocalCache != 0;
  settings.disinfectOnly = record.disinfectOnly != 0;
  settings.cleanSystem = record.cleanSystem != 0;
  settings.cacheNonPE = record.cacheNonPE != 0;
  settings.hashNonPE = record.hashNonPE != 0;
  settings.hashSmallNonPE = record.hashSmallNonPE != 0;
  settings.sendInitialBuffer = record.sendInitialBuffer != 0;
  settings.initialBufferSize = record.initialBufferSize;
  settings.cachemissCountBuffsend = record.cachemissCountBuffsend;
  settings.region = platform::ToWide(record.region);
  settings.cacheTreshold = record.cacheTreshold;
  settings.overloadedServerLimit = record.overloadedServerLimit;
  settings.underloadedServerLimit = record.underloadedServerLimit;
  settings.minServerConnections = record.minServerConnections;
  settings.maxServerConnections = record.maxServerConnections;
  settings.acceptConnectSameServer = record.acceptConnectSameServer != 0;
  settings.reconnectInterval = record.reconnectInterval;
  settings.scanLocalIfError = record.scanLocalIfError != 0;
  settings.enableScan = record.enableScan != 0;
  settings.extractOnServer = record.extractOnServer != 0;
  settings.maxSizeServerExtract = record.maxSizeServerExtract;
  settings.tlsCaFile = platform::ToWide(record.tlsCaFile);
  settings.tlsCaPath = platform::ToWide(record.tlsCaPath);
  settings.tlsVerifyHost = record.tlsVerifyHost != 0;
  settings.tlsPin = platform::ToWide(record.tlsPin);
  settings.tlsClientCert = platform::ToWide(record.tlsClientCert);
  settings.tlsClientKey = platform::ToWide(record.tlsClientKey);

  settings.servers.clear();
  for (const FileServerEntry& entry : record.servers) {
    ServerSettings server;
    server.priority = entry.priority;
    server.enforced = entry.enforced != 0;
    server.useSSL = entry.useSSL != 0;
    server.port = ParseLeadingInt(server.useSSL ? entry.portSSL : entry.port);
    server.address = platform::ToWide(entry.address);
    server.tlsPin = platform::ToWide(entry.tlsPin);
    settings.servers.push_back(std::move(server));
  }
}

}  // namespace sondrel
