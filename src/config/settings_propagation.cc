#include "config/settings_propagation.h"

#include <string>
#include <utility>
#include <vector>

#include "platform/utf8.h"

namespace sondrel {

void PropagateSettings(const SettingsStore& store, IOptionSink& sink) {
  Settings settings;
  std::vector<CommServerEntry> servers;
  store.CopySettings(settings, servers);
  const std::string region = platform::ToUtf8(settings.region.View());

  sink.SetOption(kOptionServers, &servers);
  sink.SetOption(kOptionRegion, region.c_str());
  const std::pair<SettingsOptionCode, int32_t> numbers[] = {
      {kOptionRequestTimeout, settings.timeout},
      {kOptionSocketTimeout, settings.timeout},
      {kOptionCompressionLevel, settings.compressionLevel},
      {kOptionCompressionMinBytes, settings.compressionMinBytes},
      {kOptionConnectAsync, settings.connectAsync},
      {kOptionOverloadedLimit, settings.overloadedServerLimit},
      {kOptionUnderloadedLimit, settings.underloadedServerLimit},
      {kOptionReconnectInterval, settings.reconnectInterval},
      {kOptionMinServerConnections, settings.minServerConnections},
      {kOptionMaxServerConnections, settings.maxServerConnections},
      {kOptionAcceptConnectSameServer, settings.acceptConnectSameServer},
      {kOptionEnableScan, settings.enableScan},
      {kOptionDetectLatency, settings.detectLatency},
      {kOptionScanLocalIfError, settings.scanLocalIfError},
      {kOptionLatencyTimeout, settings.latencyTimeout},
  };
  for (const auto& [code, value] : numbers) {
    sink.SetOption(code, &value);
  }
  const auto setText = [&sink](SettingsOptionCode code, const qx::StringT& text) {
    const std::string utf8 = platform::ToUtf8(text.View());
    sink.SetOption(code, utf8.c_str());
  };
  const int32_t verifyHost = settings.tlsVerifyHost;
  setText(kOptionTlsCaFile, settings.tlsCaFile);
  setText(kOptionTlsCaPath, settings.tlsCaPath);
  sink.SetOption(kOptionTlsVerifyHost, &verifyHost);
  setText(kOptionTlsPin, settings.tlsPin);
  setText(kOptionTlsClientCert, settings.tlsClientCert);
  setText(kOptionTlsClientKey, settings.tlsClientKey);
  sink.ApplyOptions();
}

}  // namespace sondrel
