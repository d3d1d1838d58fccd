// A client for tests that frames every byte itself: it connects to a scan server over loopback
// and sends whatever frames a test builds, well-formed or not, with the test's own reading of the
// wire format (support/fake_server/wire_frame.h) and never the library's. Every helper is bounded
// by a time-out.
#pragma once

#include <array>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "support/fake_server/wire_frame.h"

namespace sondrel::test {

inline constexpr int kHandClientTimeoutMs = 5000;

class HandClient {
 public:
  HandClient();
  bool Connect(uint16_t port, const std::string& host = "127.0.0.1",
               int timeoutMs = kHandClientTimeoutMs);
  bool Send(const WireFrame& frame, int timeoutMs = kHandClientTimeoutMs);
  bool SendRaw(std::span<const uint8_t> bytes, int timeoutMs = kHandClientTimeoutMs);
  // The next whole frame; nothing on time-out, end of stream or error.
  std::optional<WireFrame> ReadFrame(int timeoutMs = kHandClientTimeoutMs);
  // The next frame of `type`, skipping others (load notices, for instance).
  std::optional<WireFrame> ReadFrameOfType(uint32_t type, int timeoutMs = kHandClientTimeoutMs);
  // Whether the server ends the connection within the time-out; frames meanwhile are dropped.
  bool WaitClosed(int timeoutMs = kHandClientTimeoutMs);
  void Close();

 private:
  bool ReadExactly(std::span<uint8_t> buffer, int timeoutMs);

  boost::asio::io_context io_;
  boost::asio::ip::tcp::socket socket_;
};

// The hello record: version 3.3 unless told otherwise, the engine version text, and the
// timestamp a synchronous connect appends.
std::vector<uint8_t> HelloPayload(uint16_t major = 3, uint16_t minor = 3,
                                  const std::string& engine = "",
                                  std::optional<uint64_t> timestamp = std::nullopt);

// A scan request, field by field; the length fields can be made to lie.
struct HandScanRequest {
  int32_t action = 0;
  uint64_t fileSize = 0;
  bool fingerprintValid = false;
  std::array<uint8_t, 16> fingerprint{};
  bool cacheUsable = false;
  bool strongFingerprint = false;
  std::string name = "sample.bin";  // sent with its NUL
  std::vector<uint8_t> initialBuffer;
  std::vector<uint8_t> options;  // whole 16-byte entries
  std::string text;              // sent with its NUL when not empty
  uint32_t profileValue = 0;
  // Lies: the values written instead of the true lengths.
  std::optional<uint32_t> extraLength;
  std::optional<uint32_t> nameLength;
  std::optional<uint32_t> initialLength;
  std::optional<uint32_t> optionCount;
  std::optional<uint32_t> textLength;
  std::vector<uint8_t> trailing;  // bytes after the profile value
};
std::vector<uint8_t> ScanRequestPayload(const HandScanRequest& fields);
// Message 100 on channel `channel` with sequence `seq`, waiting up to `timeoutMs`.
WireFrame ScanRequestFrame(const HandScanRequest& fields, int32_t channel = 0, uint32_t seq = 1,
                           int32_t timeoutMs = 10000);

// A read answer piece: the descriptor {offset, requested count, address 0, data length, status}
// and the data; the data length field can be made to lie.
std::vector<uint8_t> ReadAnswerPayload(uint64_t offset, uint32_t requestedCount,
                                       std::span<const uint8_t> data, int32_t status,
                                       std::optional<uint32_t> dataLengthField = std::nullopt);
// Message 102 answering `request` (its route and conversation id), of `kind`.
WireFrame ReadAnswerFrame(const WireFrame& request, uint32_t kind, std::vector<uint8_t> payload);

struct ReadRange {
  uint64_t offset = 0;
  uint32_t count = 0;
};
// The range a read request (101) asks for.
ReadRange RangeOf(const WireFrame& readRequest);
// The final status of a final answer (104), or nothing when the payload is shorter.
std::optional<int32_t> FinalStatusOf(const WireFrame& finalAnswer);
// The u32 at the start of a payload.
std::optional<uint32_t> FirstWordOf(const WireFrame& frame);

}  // namespace sondrel::test
