// What the owner of the comm client tells it through numbered options: the codes, the record they
// fill and how a value is stored. The codes that carry settings are in config/option_sink.h; the
// others are here.
//
// The value of SetOption is a pointer whose meaning depends on the code: a NUL-terminated text; a
// const std::vector<CommServerEntry>* for the server list; the pointer itself for callbacks and
// contexts; a pointer to an int32 for numbers and booleans (non-zero is true); the bytes of the
// hello payload.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "comm/comm_client_callbacks.h"
#include "comm/message_callback.h"
#include "comm/tls_settings.h"
#include "config/comm_server_entry.h"
#include "config/option_sink.h"

namespace sondrel {

enum CommClientOptionCode : int32_t {
  kOptionHost = 4,  // the server of the single-server mode
  kOptionPort = 5,  // its port text
  kOptionHelloCallback = 9,
  kOptionAvailabilityCallback = 10,
  kOptionBestChangedCallback = 11,
  kOptionCallbackContext = 12,  // context of codes 9, 10 and 11
  kOptionSyncSessions = 13,
  kOptionHelloPayload = 16,  // copies as many bytes as code 17 says at that moment
  kOptionHelloLength = 17,
  kOptionText = 20,
  kOptionPoolMode = 37,
  kOptionServerGoneCallback = 38,
  kOptionServerGoneContext = 39,
};

// Results of SetOption.
struct OptionResult {
  static constexpr int32_t Stored = 0;
  static constexpr int32_t UnknownCode = 1;
  // A null callback for code 9, 10 or 11, or no value for a code that needs one.
  static constexpr int32_t MissingValue = 2;
};

struct CommClientOptions {
  std::string host;
  std::string port;
  // Installed on every session for its hello answers and on every request channel as its handler.
  MessageCallback helloCallback = nullptr;
  AvailabilityCallback availabilityCallback = nullptr;
  BestChangedCallback bestChangedCallback = nullptr;
  void* callbackContext = nullptr;
  // Sessions are created in synchronous mode for good.
  bool syncSessions = false;
  int32_t compressionLevel = 0;
  uint32_t compressionMinBytes = 0xFFFFFFFF;
  // The bytes code 16 copied; shared, never changed, by every copy of the record.
  std::shared_ptr<const std::vector<uint8_t>> helloPayload;
  uint32_t helloLength = 0;
  // The single-server session connects asynchronously, and Start does not wait for the first pass.
  bool connectAsync = false;
  std::string text;
  std::vector<CommServerEntry> servers;
  std::string region;
  int32_t overloadedLimit = 5;
  int32_t underloadedLimit = 5;
  int32_t minServerConnections = 1;
  int32_t maxServerConnections = 5;
  bool acceptConnectSameServer = false;
  int32_t reconnectInterval = 5;  // seconds
  int32_t requestTimeoutMs = 30000;
  int32_t socketTimeoutMs = 0;
  // Run the pool manager even when the server list is empty.
  bool poolMode = false;
  ServerGoneCallback serverGoneCallback = nullptr;
  void* serverGoneContext = nullptr;
  // When false the pool manager closes every session.
  bool enableScan = true;
  // Slow sessions are dropped.
  bool detectLatency = false;
  bool scanLocalIfError = false;
  uint32_t latencyTimeoutUs = 50000;
  // Codes 44 to 49.
  TlsSettings tls;

  // The hello record of a new session: helloLength bytes, as many of them as code 16 copied taken
  // from that copy and the rest zero.
  std::vector<uint8_t> HelloForSession() const;
};

// Stores one option as SetOption does; returns an OptionResult. Nothing is stored unless the result
// is Stored.
int32_t StoreOption(CommClientOptions& options, int32_t code, const void* value);

}  // namespace sondrel
