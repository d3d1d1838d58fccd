// Where the settings go when they are handed to the connection manager: numbered options, each
// a code and a pointer to its value, committed by one apply call. The connection manager
// copies what it needs during SetOption.
#pragma once

#include <cstdint>

namespace sondrel {

// The option codes that carry settings.
enum SettingsOptionCode : int32_t {
  kOptionCompressionLevel = 14,
  kOptionCompressionMinBytes = 15,
  kOptionConnectAsync = 19,
  kOptionServers = 21,  // value: const std::vector<CommServerEntry>*
  kOptionRegion = 22,   // value: NUL-terminated UTF-8 text
  kOptionOverloadedLimit = 26,
  kOptionUnderloadedLimit = 27,
  kOptionMinServerConnections = 28,
  kOptionMaxServerConnections = 29,
  kOptionAcceptConnectSameServer = 30,
  kOptionReconnectInterval = 31,
  kOptionRequestTimeout = 32,
  kOptionSocketTimeout = 36,
  kOptionEnableScan = 40,
  kOptionDetectLatency = 41,
  kOptionScanLocalIfError = 42,
  kOptionLatencyTimeout = 43,
  // Verification of the TLS servers: texts are NUL-terminated UTF-8.
  kOptionTlsCaFile = 44,
  kOptionTlsCaPath = 45,
  kOptionTlsVerifyHost = 46,
  kOptionTlsPin = 47,
  kOptionTlsClientCert = 48,
  kOptionTlsClientKey = 49,
};

class IOptionSink {
 public:
  virtual ~IOptionSink() = default;
  // Stores one option; the value pointer is valid only during the call. 0 when stored.
  virtual int32_t SetOption(int32_t code, const void* value) = 0;
  // Puts the options stored so far into effect.
  virtual int32_t ApplyOptions() = 0;
};

}  // namespace sondrel
