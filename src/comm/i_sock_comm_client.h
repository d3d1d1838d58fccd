// The comm client as its owner sees it: numbered options, start and stop, request channels and
// requests, the best session, and the servers of the pool. It is also the sink the settings are
// propagated into (PropagateSettings).
#pragma once

#include <cstdint>
#include <vector>

#include "comm/comm_client_callbacks.h"
#include "config/comm_server_entry.h"
#include "config/option_sink.h"
#include "protocol/comm_message.h"

namespace sondrel {

class ISockCommClient : public IOptionSink {
 public:
  // Results of the operations on the best session when no session is usable.
  static constexpr int32_t kNoUsableSession = 1627;
  // Start: the special channel could not be made.
  static constexpr int32_t kStartFailed = 8;

  // The owner calls Stop first.
  ~ISockCommClient() override = default;
  // Starts the pool manager (pool mode: servers configured, or code 37 set) or the one session of
  // the single-server mode. Unless code 19 is set, returns once the first pool pass is done.
  virtual int32_t Start() = 0;
  // Ends the pool manager and every session; waiting requesters are released with Stopping.
  virtual void Stop() = 0;
  // 0 stored; 1 unknown code; 2 null callback for code 9, 10 or 11 (or no value for a code that
  // needs one). Takes effect at ApplyOptions.
  int32_t SetOption(int32_t code, const void* value) override = 0;
  // Copies the stored options into the ones in effect. Returns 0.
  int32_t ApplyOptions() override = 0;
  // A request channel for one requester: its index, or -1.
  virtual int32_t AcquireChannel() = 0;
  virtual void ReleaseChannel(int32_t channelIndex) = 0;
  // After new servers were applied: retires every session so that the pool manager rebuilds the
  // pool from the new list at once.
  virtual void ReloadServers() = 0;
  // Sends a message on the channel and, for kinds that expect an answer, waits up to timeoutMs
  // for the final answer, while the server's messages reach the channel's handler. A scan request
  // whose server fails is sent once more to another session. Returns a RequestResult or the
  // server's error code. Unless callerKeepsPayload, the payload comes from AllocPayload and
  // belongs to the client from here on (results 8 and 9 leave it with the caller).
  virtual int32_t SendRequest(void* requestKey, int32_t channelIndex, uint32_t messageType,
                              uint32_t messageKind, void* payload, uint32_t payloadLength,
                              int32_t timeoutMs, bool callerKeepsPayload) = 0;
  // Payload buffers that requests can hand over without a copy.
  virtual uint8_t* AllocPayload(uint32_t length) = 0;
  virtual void FreePayload(uint8_t* payload) = 0;
  // A payload buffer whose bytes the caller writes before it sends them (a file piece read into
  // it): only its headers are zeroed, and it may be one recycled from an earlier piece.
  virtual uint8_t* AllocFilledPayload(uint32_t length) { return AllocPayload(length); }
  // The best usable session's Connect, Disconnect and Receive; kNoUsableSession without one.
  virtual int32_t ConnectBest() = 0;
  virtual void CloseBest() = 0;
  virtual int32_t ReceiveBest(CommMessagePtr& message) = 0;
  // Frees a text the client allocated (GetChannelServer's host) and nulls the pointer.
  virtual void FreeBuffer(char** buffer) = 0;
  // The host text (to be freed with FreeBuffer) and TLS flag of the session bound to the channel;
  // false when none is bound.
  virtual bool GetChannelServer(int32_t channelIndex, char** host, bool* tls) = 0;
  // Calls `callback` once with one endpoint per pool session; 1 when callback is null, else 0.
  virtual int32_t EnumerateEndpoints(EndpointsCallback callback, void* context) = 0;
  // Appends the server entry of every pool session, the best session's at the front. Returns 0.
  virtual int32_t ListServers(std::vector<CommServerEntry>& servers) = 0;
};

}  // namespace sondrel
