// The settings record behind every decision of the scan client. Construction gives the built-in
// defaults: what a client runs on until a settings file or a monitor supplies other values.
#pragma once

#include <cstdint>
#include <vector>

#include "config/server_settings.h"
#include "qx/string_t.h"

namespace sondrel {

struct Settings {
  std::vector<ServerSettings> servers;
  bool enableScan = false;
  bool scanLocalIfError = false;
  bool preferLocalToOverloaded = false;
  int32_t port = 7081;
  int32_t portSSL = 7083;
  int32_t timeout = 30000;           // ms
  int32_t timeoutDisinfect = 60000;  // ms
  int32_t compressionLevel = -1;
  int32_t compressionMinBytes = 4096;
  bool connectAsync = true;
  bool useCache = true;
  bool useLocalCache = true;
  bool disinfectOnly = false;
  bool cleanSystem = false;
  bool cacheNonPE = true;
  bool hashNonPE = false;
  bool hashSmallNonPE = true;
  bool sendInitialBuffer = true;
  int32_t initialBufferSize = 16384;  // bytes
  int32_t cachemissCountBuffsend = 5;
  int32_t cacheTreshold = 0;
  int32_t overloadedServerLimit = 10;
  int32_t underloadedServerLimit = 10;
  int32_t minServerConnections = 2;
  int32_t maxServerConnections = 3;
  bool acceptConnectSameServer = true;
  qx::StringT spareText1;  // stored and exposed, read by nothing
  qx::StringT spareText2;
  qx::StringT region;
  int32_t reconnectInterval = 30;  // seconds
  bool extractOnServer = false;
  int32_t maxSizeServerExtract = 5242880;  // bytes
  bool detectLatency = false;
  int32_t latencyTimeout = 50000;  // µs
  // Verification of the TLS servers; all empty: a TLS server is not verified at all.
  qx::StringT tlsCaFile;      // PEM file of the authorities that sign the servers' certificates
  qx::StringT tlsCaPath;      // directory of such files, with the names `openssl rehash` makes
  bool tlsVerifyHost = true;  // with an authority: the certificate must name the server's address
  qx::StringT tlsPin;         // SHA-256 of the servers' public keys, for servers without their own
  qx::StringT tlsClientCert;  // certificate chain (PEM) the client shows the servers
  qx::StringT tlsClientKey;   // its private key (PEM); empty: in the certificate's file

  friend bool operator==(const Settings&, const Settings&) = default;
};

}  // namespace sondrel
