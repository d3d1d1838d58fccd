#include "objectmodel/settings_mapping.h"

#include <memory>
#include <vector>

#include "config/settings_property_ids.h"
#include "objectmodel/arguments_operation.h"
#include "objectmodel/container_arguments_operation.h"
#include "objectmodel/value_arguments_operations.h"
#include "qx/string_t.h"

namespace Kalvix {
namespace {

using sondrel::ServerSettings;
using sondrel::Settings;

template <typename T>
void AddBool(ObjectMapping<T>& mapping, uint32_t id, bool T::*member) {
  mapping.Add(id, std::make_unique<BVArgumentsOperation<T>>(member));
}

template <typename T>
void AddInt(ObjectMapping<T>& mapping, uint32_t id, int32_t T::*member) {
  mapping.Add(id, std::make_unique<VArgumentsOperation<T, int32_t>>(member));
}

template <typename T>
void AddString(ObjectMapping<T>& mapping, uint32_t id, qx::StringT T::*member) {
  mapping.Add(id, std::make_unique<ArgumentsOperation<T, qx::StringT>>(member));
}

std::shared_ptr<const ObjectMapping<ServerSettings>> BuildServerSettingsMapping() {
  auto mapping =
      std::make_shared<ObjectMapping<ServerSettings>>(kServerSettingsFirstId, kServerSettingsEndId);
  AddString(*mapping, sondrel::kPropServerAddress, &ServerSettings::address);
  AddInt(*mapping, sondrel::kPropServerPort, &ServerSettings::port);
  AddBool(*mapping, sondrel::kPropServerUseSSL, &ServerSettings::useSSL);
  AddInt(*mapping, sondrel::kPropServerPriority, &ServerSettings::priority);
  AddBool(*mapping, sondrel::kPropServerEnforced, &ServerSettings::enforced);
  AddString(*mapping, sondrel::kPropServerNodeid, &ServerSettings::nodeid);
  AddString(*mapping, sondrel::kPropServerTlsPin, &ServerSettings::tlsPin);
  return mapping;
}

ObjectMapping<Settings> BuildSettingsMapping() {
  ObjectMapping<Settings> m(kSettingsFirstId, kSettingsEndId);
  m.Add(sondrel::kPropServers,
        std::make_unique<CArgumentsOperation<Settings, ObjectMapping<ServerSettings>,
                                             std::vector<ServerSettings>>>(
            &Settings::servers, ServerSettingsMapping()));
  AddBool(m, sondrel::kPropEnableScan, &Settings::enableScan);
  AddBool(m, sondrel::kPropScanLocalIfError, &Settings::scanLocalIfError);
  AddBool(m, sondrel::kPropPreferLocalToOverloaded, &Settings::preferLocalToOverloaded);
  AddInt(m, sondrel::kPropPort, &Settings::port);
  AddInt(m, sondrel::kPropPortSSL, &Settings::portSSL);
  AddInt(m, sondrel::kPropTimeout, &Settings::timeout);
  AddInt(m, sondrel::kPropTimeoutDisinfect, &Settings::timeoutDisinfect);
  AddInt(m, sondrel::kPropCompressionLevel, &Settings::compressionLevel);
  AddInt(m, sondrel::kPropCompressionMinBytes, &Settings::compressionMinBytes);
  AddBool(m, sondrel::kPropConnectAsync, &Settings::connectAsync);
  AddBool(m, sondrel::kPropUseCache, &Settings::useCache);
  AddBool(m, sondrel::kPropUseLocalCache, &Settings::useLocalCache);
  AddBool(m, sondrel::kPropDisinfectOnly, &Settings::disinfectOnly);
  AddBool(m, sondrel::kPropCleanSystem, &Settings::cleanSystem);
  AddBool(m, sondrel::kPropCacheNonPE, &Settings::cacheNonPE);
  AddBool(m, sondrel::kPropHashNonPE, &Settings::hashNonPE);
  AddBool(m, sondrel::kPropHashSmallNonPE, &Settings::hashSmallNonPE);
  AddBool(m, sondrel::kPropSendInitialBuffer, &Settings::sendInitialBuffer);
  AddInt(m, sondrel::kPropInitialBufferSize, &Settings::initialBufferSize);
  AddInt(m, sondrel::kPropCachemissCountBuffsend, &Settings::cachemissCountBuffsend);
  AddInt(m, sondrel::kPropCacheTreshold, &Settings::cacheTreshold);
  AddInt(m, sondrel::kPropOverloadedServerLimit, &Settings::overloadedServerLimit);
  AddInt(m, sondrel::kPropUnderloadedServerLimit, &Settings::underloadedServerLimit);
  AddInt(m, sondrel::kPropMinServerConnections, &Settings::minServerConnections);
  AddInt(m, sondrel::kPropMaxServerConnections, &Settings::maxServerConnections);
  AddBool(m, sondrel::kPropAcceptConnectSameServer, &Settings::acceptConnectSameServer);
  AddString(m, sondrel::kPropSpareText1, &Settings::spareText1);
  AddString(m, sondrel::kPropSpareText2, &Settings::spareText2);
  AddString(m, sondrel::kPropRegion, &Settings::region);
  AddInt(m, sondrel::kPropReconnectInterval, &Settings::reconnectInterval);
  AddBool(m, sondrel::kPropExtractOnServer, &Settings::extractOnServer);
  AddInt(m, sondrel::kPropMaxSizeServerExtract, &Settings::maxSizeServerExtract);
  AddBool(m, sondrel::kPropDetectLatency, &Settings::detectLatency);
  AddInt(m, sondrel::kPropLatencyTimeout, &Settings::latencyTimeout);
  AddString(m, sondrel::kPropTlsCaFile, &Settings::tlsCaFile);
  AddString(m, sondrel::kPropTlsCaPath, &Settings::tlsCaPath);
  AddBool(m, sondrel::kPropTlsVerifyHost, &Settings::tlsVerifyHost);
  AddString(m, sondrel::kPropTlsPin, &Settings::tlsPin);
  AddString(m, sondrel::kPropTlsClientCert, &Settings::tlsClientCert);
  AddString(m, sondrel::kPropTlsClientKey, &Settings::tlsClientKey);
  return m;
}

}  // namespace

const std::shared_ptr<const ObjectMapping<ServerSettings>>& ServerSettingsMapping() {
  static const std::shared_ptr<const ObjectMapping<ServerSettings>> mapping =
      BuildServerSettingsMapping();
  return mapping;
}

const ObjectMapping<Settings>& SettingsMapping() {
  static const ObjectMapping<Settings> mapping = BuildSettingsMapping();
  return mapping;
}

}  // namespace Kalvix
