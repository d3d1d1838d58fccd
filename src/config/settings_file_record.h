// What one read of the settings file produced, before it is applied to the live settings. A
// fresh record holds the values that a successful read stores for keys the file lacks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/settings.h"

namespace sondrel {

struct FileServerEntry {
  int32_t priority = 0;
  int32_t enforced = 0;
  std::string port;     // plain port text
  std::string portSSL;  // TLS port text
  std::string address;  // UTF-8
  int32_t useSSL = 0;
  std::string tlsPin;  // UTF-8
};

struct SettingsFileRecord {
  std::vector<FileServerEntry> servers;
  int32_t timeout = 10000;
  int32_t timeoutDisinfect = 60000;
  int32_t compressionLevel = 0;
  int32_t compressionMinBytes = -1;
  int32_t connectAsync = 1;
  int32_t useCache = 1;
  int32_t useLocalCache = 0;
  int32_t disinfectOnly = 1;
  int32_t cleanSystem = 1;
  int32_t cacheNonPE = 1;
  int32_t hashNonPE = 0;
  int32_t hashSmallNonPE = 1;
  int32_t sendInitialBuffer = 1;
  int32_t initialBufferSize = 16384;
  int32_t cachemissCountBuffsend = 5;
  std::string region;  // UTF-8
  int32_t cacheTreshold = 0;
  int32_t overloadedServerLimit = 5;
  int32_t underloadedServerLimit = 5;
  int32_t minServerConnections = 2;
  int32_t maxServerConnections = 4;
  int32_t acceptConnectSameServer = 1;
  int32_t reconnectInterval = 5;
  int32_t scanLocalIfError = 0;
  int32_t enableScan = 1;
  int32_t extractOnServer = 0;
  int32_t maxSizeServerExtract = 5242880;
  std::string tlsCaFile;  // UTF-8, as are the other texts
  std::string tlsCaPath;
  int32_t tlsVerifyHost = 1;
  std::string tlsPin;
  std::string tlsClientCert;
  std::string tlsClientKey;
};

// Copies every field the file sets into the settings and rebuilds the server list from the
// file's servers. Fields the file never sets keep their values.
void ApplyFileRecord(const SettingsFileRecord& record, Settings& settings);

}  // namespace sondrel
