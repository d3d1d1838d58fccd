#include "config/settings_dump.h"

#include "logging/log.h"

namespace sondrel {
namespace {

template <typename T>
void DumpField(Logger& logger, const char* name, const T& value) {
  LOG_INFO(&logger, name << ": " << value);
}

}  // namespace

void DumpSettings(Logger& logger, const Settings& settings) {
  LOG_INFO(&logger, "General Sondrel settings:");
  DumpField(logger, "enableScan", settings.enableScan);
  DumpField(logger, "scanLocalIfError", settings.scanLocalIfError);
  DumpField(logger, "preferLocalToOverloaded", settings.preferLocalToOverloaded);
  DumpField(logger, "port", settings.port);
  DumpField(logger, "portSSL", settings.portSSL);
  DumpField(logger, "timeout", settings.timeout);
  DumpField(logger, "timeoutDisinfect", settings.timeoutDisinfect);
  DumpField(logger, "compressionLevel", settings.compressionLevel);
  DumpField(logger, "compressionMinBytes", settings.compressionMinBytes);
  DumpField(logger, "connectAsync", settings.connectAsync);
  DumpField(logger, "useCache", settings.useCache);
  DumpField(logger, "useLocalCache", settings.useLocalCache);
  DumpField(logger, "disinfectOnly", settings.disinfectOnly);
  DumpField(logger, "cleanSystem", settings.cleanSystem);
  DumpField(logger, "cacheNonPE", settings.cacheNonPE);
  DumpField(logger, "hashNonPE", settings.hashNonPE);
  DumpField(logger, "hashSmallNonPE", settings.hashSmallNonPE);
  DumpField(logger, "sendInitialBuffer", settings.sendInitialBuffer);
  DumpField(logger, "initialBufferSize", settings.initialBufferSize);
  DumpField(logger, "cachemissCountBuffsend", settings.cachemissCountBuffsend);
  DumpField(logger, "cacheTreshold", settings.cacheTreshold);
  DumpField(logger, "overloadedServerLimit", settings.overloadedServerLimit);
  DumpField(logger, "underloadedServerLimit", settings.underloadedServerLimit);
  DumpField(logger, "minServerConnections", settings.minServerConnections);
  DumpField(logger, "maxServerConnections", settings.maxServerConnections);
  DumpField(logger, "acceptConnectSameServer", settings.acceptConnectSameServer);
  DumpField(logger, "detectLatency", settings.detectLatency);
  DumpField(logger, "latencyTimeout", settings.latencyTimeout);
  DumpField(logger, "region", settings.region);
  DumpField(logger, "reconnectInterval", settings.reconnectInterval);
  DumpField(logger, "tlsCaFile", settings.tlsCaFile);
  DumpField(logger, "tlsCaPath", settings.tlsCaPath);
  DumpField(logger, "tlsVerifyHost", settings.tlsVerifyHost);
  DumpField(logger, "tlsPin", settings.tlsPin);
  DumpField(logger, "tlsClientCert", settings.tlsClientCert);
  DumpField(logger, "tlsClientKey", settings.tlsClientKey);
  LOG_INFO(&logger, "Sondrel servers (" << settings.servers.size() << "): ");
  size_t number = 0;
  for (const ServerSettings& server : settings.servers) {
    LOG_INFO(&logger, "Server " << ++number);
    LOG_INFO(&logger, "  address: " << server.address);
    LOG_INFO(&logger, "  port: " << server.port);
    LOG_INFO(&logger, "  useSSL: " << server.useSSL);
    LOG_INFO(&logger, "  priority: " << server.priority);
    LOG_INFO(&logger, "  enforced: " << server.enforced);
    LOG_INFO(&logger, "  nodeid: " << server.nodeid);
    LOG_INFO(&logger, "  tlsPin: " << server.tlsPin);
  }
}

}  // namespace sondrel
