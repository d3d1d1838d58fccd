// The values the server sends as the final status of a scan (message 104) and as the code of an
// error answer (kind 4). The client hands a final status to the host as the request's status, so
// every value other than 0 means "no verdict you can rely on", and none collides with the
// client's own request results (3, 4, 5, 6, 8, 9, 10) or the "not scanned" status 0xC0000000.
#pragma once

#include <cstdint>

namespace sondrel::server {

namespace final_status {
// The file was scanned: clean, or a detection reported before this answer.
inline constexpr int32_t kScanned = 0;
// The scan queue was full, or the server is shutting down: try another server.
inline constexpr int32_t kBusy = 1001;
// The scan request did not hold together (a length beyond the payload, trailing bytes).
inline constexpr int32_t kBadRequest = 1002;
// Not scanned: the file is larger than --max-file-size.
inline constexpr int32_t kTooLarge = 1003;
// The client reported a failed read, or answered with fewer bytes than the file has.
inline constexpr int32_t kClientReadError = 1004;
// The client did not deliver the bytes asked for in time, or the scan ran past its deadline.
inline constexpr int32_t kTimedOut = 1005;
// The client's answer to a read request did not match what was asked.
inline constexpr int32_t kProtocolViolation = 1006;
// The engine failed on the file.
inline constexpr int32_t kEngineError = 1007;
// A disinfection found a threat: reported, but the engine cannot clean, so nothing was written.
inline constexpr int32_t kNotDisinfected = 1008;
// Not scanned completely: the file goes beyond one of the engine's limits (nesting, scan size,
// scan time), so the absence of a detection means nothing.
inline constexpr int32_t kLimitsExceeded = 1009;
// The client abandoned the scan: its connection closed, or it refused a message of the scan.
inline constexpr int32_t kAbandoned = 1010;

// The outcome a failure status is logged and counted as.
inline const char* OutcomeOf(int32_t status) {
  switch (status) {
    case kBusy:
      return "busy";
    case kBadRequest:
      return "bad-request";
    case kTooLarge:
      return "too-large";
    case kClientReadError:
      return "read-error";
    case kTimedOut:
      return "timed-out";
    case kProtocolViolation:
      return "protocol-violation";
    case kEngineError:
      return "engine-error";
    case kNotDisinfected:
      return "not-disinfected";
    case kLimitsExceeded:
      return "limits-exceeded";
    case kAbandoned:
      return "abandoned";
    default:
      return "failed";
  }
}
}  // namespace final_status

namespace error_code {
// A request (kind 0 or 2) the server has no handler for: an unknown type, or a conversation
// message for no scan running on this connection.
inline constexpr uint32_t kNotDeliverable = 1101;
// No slot granted: the connection already holds --slot-capacity slots.
inline constexpr uint32_t kNoSlotAvailable = 1102;
// A slot request whose payload is not an allocation record.
inline constexpr uint32_t kBadSlotRequest = 1103;
}  // namespace error_code

}  // namespace sondrel::server
