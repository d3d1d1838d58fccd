// The payloads a scan server sends during a conversation, and the records the client answers
// with. Variable items follow a record's fixed part back to back; the addresses a server writes
// into its records are its own and are never used here. Every length a server announces is
// checked against the bytes that actually arrived: a record whose fixed part is not all there is
// refused, and an item that reaches past the payload is not taken.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sondrel {

// The largest piece of file data that one message carries; larger ranges travel in pieces.
inline constexpr uint32_t kMaxFilePiece = 1024 * 1024;
// The status of a piece of a read answer that more pieces follow.
inline constexpr int32_t kMorePiecesFollow = 234;

// Offset, requested count, data address, data length, status; the data follows it.
struct BufferDescriptor {
  static constexpr uint32_t kSize = 28;

  uint64_t offset = 0;
  uint32_t requestedCount = 0;
  uint64_t dataAddress = 0;
  uint32_t dataLength = 0;
  int32_t status = 0;

  void WriteTo(uint8_t* record) const;
};

// A read request: the descriptor's range.
std::optional<BufferDescriptor> ParseReadRequest(std::span<const uint8_t> payload);

// A write request: the range to write and the data, which must all be present.
struct WriteRequest {
  BufferDescriptor descriptor;
  std::span<const uint8_t> data;
};
std::optional<WriteRequest> ParseWriteRequest(std::span<const uint8_t> payload);

// A detection report. Texts are cut at their first NUL; a text that reaches past the payload,
// and every text after it, is empty.
struct DetectionReport {
  static constexpr uint32_t kFixedSize = 72;

  uint32_t verdict = 0;
  std::string objectName;  // text 2
  std::string fileName;    // text 3
  std::string threatName;  // text 4
  uint32_t outByte = 0;

  // Verdict bits that mark a detection.
  bool detection() const { return (verdict & 0x60) != 0; }
};
std::optional<DetectionReport> ParseDetectionReport(std::span<const uint8_t> payload);

// A final answer: whatever of the status, the result block, the cache value and the store-blocking
// byte is present, in that order.
struct FinalAnswer {
  static constexpr int32_t kNotScanned = static_cast<int32_t>(0xC0000000);
  static constexpr size_t kWithResultBlock = 48;
  static constexpr size_t kComplete = 53;

  int32_t finalStatus = kNotScanned;
  bool hasResultBlock = false;
  std::array<int32_t, 11> resultBlock{};
  uint32_t cacheValue = 0;
  uint8_t storeBlocking = 0;
};
FinalAnswer ParseFinalAnswer(std::span<const uint8_t> payload);

// A data notification: the data its length announces, which must all be present.
std::optional<std::span<const uint8_t>> ParseDataNotification(std::span<const uint8_t> payload);

// A value request's 64-bit value as its two halves.
struct ValueRequest {
  uint32_t low = 0;
  uint32_t high = 0;
};
std::optional<ValueRequest> ParseValueRequest(std::span<const uint8_t> payload);

// A callback request: the data that arrived with it and the capacity of the answer. Without its
// fixed part, or with data that is not all present, it is inconsistent.
struct CallbackRequest {
  static constexpr uint32_t kFixedSize = 16;

  std::span<const uint8_t> data;
  uint32_t capacity = 0;
};
std::optional<CallbackRequest> ParseCallbackRequest(std::span<const uint8_t> payload);

// The list of paths a "scan from AM" callback carries, with the words of its list header that
// are logged.
struct ScanFromAmList {
  static constexpr uint32_t kIdentifier = 1901;

  uint32_t value = 0;               // the word at offset 8, never 0
  std::array<uint32_t, 4> words{};  // words 1 to 4 of the list header
  std::vector<std::string> paths;
};
// The list when the callback data is a scan-from-AM record whose list header and list lie within
// the data; nothing otherwise.
std::optional<ScanFromAmList> ParseScanFromAmList(std::span<const uint8_t> data);

}  // namespace sondrel
