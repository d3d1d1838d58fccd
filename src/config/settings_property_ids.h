// The object-model property ids of Settings (range 0x20000 to 0x21000) and ServerSettings
// (range 0x21000 to 0x22000).
#pragma once

#include <cstdint>

namespace sondrel {

enum SettingsPropertyId : uint32_t {
  kPropServers = 0x20001,
  kPropEnableScan = 0x20002,
  kPropScanLocalIfError = 0x20003,
  kPropPort = 0x20004,
  kPropPortSSL = 0x20005,
  kPropTimeout = 0x20006,
  kPropTimeoutDisinfect = 0x20007,
  kPropCompressionLevel = 0x20008,
  kPropCompressionMinBytes = 0x20009,
  kPropConnectAsync = 0x2000A,
  kPropUseCache = 0x2000B,
  kPropUseLocalCache = 0x2000C,
  kPropDisinfectOnly = 0x2000D,
  kPropCleanSystem = 0x2000E,
  kPropCacheNonPE = 0x2000F,
  kPropHashNonPE = 0x20010,
  kPropHashSmallNonPE = 0x20011,
  kPropSendInitialBuffer = 0x20012,
  kPropInitialBufferSize = 0x20013,
  kPropCachemissCountBuffsend = 0x20014,
  kPropCacheTreshold = 0x20015,
  kPropOverloadedServerLimit = 0x20016,
  kPropUnderloadedServerLimit = 0x20017,
  kPropMinServerConnections = 0x20018,
  kPropMaxServerConnections = 0x20019,
  kPropAcceptConnectSameServer = 0x2001A,
  kPropSpareText1 = 0x2001B,
  kPropRegion = 0x2001C,
  kPropSpareText2 = 0x2001D,
  kPropReconnectInterval = 0x2001E,
  kPropExtractOnServer = 0x2001F,
  kPropMaxSizeServerExtract = 0x20020,
  kPropPreferLocalToOverloaded = 0x20021,
  kPropDetectLatency = 0x20022,
  kPropLatencyTimeout = 0x20023,
  kPropTlsCaFile = 0x20024,
  kPropTlsCaPath = 0x20025,
  kPropTlsVerifyHost = 0x20026,
  kPropTlsPin = 0x20027,
  kPropTlsClientCert = 0x20028,
  kPropTlsClientKey = 0x20029,
};

enum ServerSettingsPropertyId : uint32_t {
  kPropServerAddress = 0x21001,
  kPropServerPort = 0x21002,
  kPropServerUseSSL = 0x21003,
  kPropServerPriority = 0x21004,
  kPropServerEnforced = 0x21005,
  kPropServerNodeid = 0x21006,
  kPropServerTlsPin = 0x21007,
};

}  // namespace sondrel
