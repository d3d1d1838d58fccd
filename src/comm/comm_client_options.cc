#include "comm/comm_client_options.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace sondrel {
namespace {

int32_t IntValue(const void* value) {
  int32_t number = 0;
  std::memcpy(&number, value, sizeof(number));
  return number;
}

template <typename Function>
Function FunctionValue(const void* value) {
  return reinterpret_cast<Function>(const_cast<void*>(value));
}

constexpr int32_t kKnownCodes[] = {
    kOptionHost,
    kOptionPort,
    kOptionHelloCallback,
    kOptionAvailabilityCallback,
    kOptionBestChangedCallback,
    kOptionCallbackContext,
    kOptionSyncSessions,
    kOptionCompressionLevel,
    kOptionCompressionMinBytes,
    kOptionHelloPayload,
    kOptionHelloLength,
    kOptionConnectAsync,
    kOptionText,
    kOptionServers,
    kOptionRegion,
    kOptionOverloadedLimit,
    kOptionUnderloadedLimit,
    kOptionMinServerConnections,
    kOptionMaxServerConnections,
    kOptionAcceptConnectSameServer,
    kOptionReconnectInterval,
    kOptionRequestTimeout,
    kOptionSocketTimeout,
    kOptionPoolMode,
    kOptionServerGoneCallback,
    kOptionServerGoneContext,
    kOptionEnableScan,
    kOptionDetectLatency,
    kOptionScanLocalIfError,
    kOptionLatencyTimeout,
    kOptionTlsCaFile,
    kOptionTlsCaPath,
    kOptionTlsVerifyHost,
    kOptionTlsPin,
    kOptionTlsClientCert,
    kOptionTlsClientKey,
};

// Codes whose value is the pointer itself; null is a value like any other.
bool TakesPointerItself(int32_t code) {
  return code == kOptionCallbackContext || code == kOptionServerGoneCallback ||
         code == kOptionServerGoneContext;
}

}  // namespace

std::vector<uint8_t> CommClientOptions::HelloForSession() const {
  std::vector<uint8_t> hello(helloLength, 0);
  if (helloPayload != nullptr) {
    std::copy_n(helloPayload->begin(), std::min<size_t>(hello.size(), helloPayload->size()),
                hello.begin());
  }
  return hello;
}

int32_t StoreOption(CommClientOptions& options, int32_t code, const void* value) {
  if (std::find(std::begin(kKnownCodes), std::end(kKnownCodes), code) == std::end(kKnownCodes)) {
    return OptionResult::UnknownCode;
  }
  if (value == nullptr && !TakesPointerItself(code) &&
      !(code == kOptionHelloPayload && options.helloLength == 0)) {
    return OptionResult::MissingValue;
  }
  switch (code) {
    case kOptionHost:
      options.host = static_cast<const char*>(value);
      break;
    case kOptionPort:
      options.port = static_cast<const char*>(value);
      break;
    case kOptionHelloCallback:
      options.helloCallback = FunctionValue<MessageCallback>(value);
      break;
    case kOptionAvailabilityCallback:
      options.availabilityCallback = FunctionValue<AvailabilityCallback>(value);
      break;
    case kOptionBestChangedCallback:
      options.bestChangedCallback = FunctionValue<BestChangedCallback>(value);
      break;
    case kOptionCallbackContext:
      options.callbackContext = const_cast<void*>(value);
      break;
    case kOptionSyncSessions:
      options.syncSessions = IntValue(value) != 0;
      break;
    case kOptionCompressionLevel:
      options.compressionLevel = IntValue(value);
      break;
    case kOptionCompressionMinBytes:
      options.compressionMinBytes = static_cast<uint32_t>(IntValue(value));
      break;
    case kOptionHelloPayload: {
      const auto* bytes = static_cast<const uint8_t*>(value);
      options.helloPayload =
          std::make_shared<const std::vector<uint8_t>>(bytes, bytes + options.helloLength);
      break;
    }
    case kOptionHelloLength:
      options.helloLength = static_cast<uint32_t>(IntValue(value));
      break;
    case kOptionConnectAsync:
      options.connectAsync = IntValue(value) != 0;
      break;
    case kOptionText:
      options.text = static_cast<const char*>(value);
      break;
    case kOptionServers:
      options.servers = *static_cast<const std::vector<CommServerEntry>*>(value);
      break;
    case kOptionRegion:
      options.region = static_cast<const char*>(value);
      break;
    case kOptionOverloadedLimit:
      options.overloadedLimit = IntValue(value);
      break;
    case kOptionUnderloadedLimit:
      options.underloadedLimit = IntValue(value);
      break;
    case kOptionMinServerConnections:
      options.minServerConnections = IntValue(value);
      break;
    case kOptionMaxServerConnections:
      options.maxServerConnections = IntValue(value);
      break;
    case kOptionAcceptConnectSameServer:
      options.acceptConnectSameServer = IntValue(value) != 0;
      break;
    case kOptionReconnectInterval:
      options.reconnectInterval = IntValue(value);
      break;
    case kOptionRequestTimeout:
      options.requestTimeoutMs = IntValue(value);
      break;
    case kOptionSocketTimeout:
      options.socketTimeoutMs = IntValue(value);
      break;
    case kOptionPoolMode:
      options.poolMode = IntValue(value) != 0;
      break;
    case kOptionServerGoneCallback:
      options.serverGoneCallback = FunctionValue<ServerGoneCallback>(value);
      break;
    case kOptionServerGoneContext:
      options.serverGoneContext = const_cast<void*>(value);
      break;
    case kOptionEnableScan:
      options.enableScan = IntValue(value) != 0;
      break;
    case kOptionDetectLatency:
      options.detectLatency = IntValue(value) != 0;
      break;
    case kOptionScanLocalIfError:
      options.scanLocalIfError = IntValue(value) != 0;
      break;
    case kOptionLatencyTimeout:
      options.latencyTimeoutUs = static_cast<uint32_t>(IntValue(value));
      break;
    case kOptionTlsCaFile:
      options.tls.caFile = static_cast<const char*>(value);
      break;
    case kOptionTlsCaPath:
      options.tls.caPath = static_cast<const char*>(value);
      break;
    case kOptionTlsVerifyHost:
      options.tls.verifyHost = IntValue(value) != 0;
      break;
    case kOptionTlsPin:
      options.tls.pin = static_cast<const char*>(value);
      break;
    case kOptionTlsClientCert:
      options.tls.clientCert = static_cast<const char*>(value);
      break;
    case kOptionTlsClientKey:
      options.tls.clientKey = static_cast<const char*>(value);
      break;
  }
  return OptionResult::Stored;
}

}  // namespace sondrel
