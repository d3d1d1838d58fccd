// What a scan server tells the client about the file it scans: detection reports (103), the final
// answer (104), data notifications (105), server-cache answers (107) and disinfection flags (115).
//
// Variable items follow a record's fixed part back to back, each announced by a 64-bit address
// and a 32-bit length in the fixed part. A receiver ignores the addresses; a server writes each
// item's offset in the payload there, never an address of its own. Every length is checked
// against the bytes that actually arrived: a record whose fixed part is not all there is refused,
// and an item that reaches past the payload is not taken.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/result_block.h"

namespace sondrel {

// A detection report. Texts are cut at their first NUL; a text that reaches past the payload,
// and every text after it, is empty.
struct DetectionReport {
  static constexpr uint32_t kFixedSize = 72;
  // Verdict bits that mark a detection.
  static constexpr uint32_t kDetectionBits = 0x60;
  // The verdict of a detection that our server reports.
  static constexpr uint32_t kInfected = 0x20;

  uint32_t verdict = 0;
  std::string objectName;  // text 2
  std::string fileName;    // text 3
  std::string threatName;  // text 4
  uint32_t outByte = 0;

  bool detection() const { return (verdict & kDetectionBits) != 0; }
};
// The report with its texts, each sent with a NUL (text 1 empty).
std::vector<uint8_t> MakeDetectionReport(const DetectionReport& report);
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
// The complete 53-byte answer.
std::array<uint8_t, FinalAnswer::kComplete> MakeFinalAnswer(int32_t finalStatus,
                                                            const ResultBlock& resultBlock,
                                                            uint32_t cacheValue,
                                                            uint8_t storeBlocking);
FinalAnswer ParseFinalAnswer(std::span<const uint8_t> payload);

// A data notification: u32 length, 8-byte address, the data.
std::vector<uint8_t> MakeDataNotification(std::span<const uint8_t> data);
// The data its length announces, which must all be present.
std::optional<std::span<const uint8_t>> ParseDataNotification(std::span<const uint8_t> payload);

// A server-cache answer: empty, or the u32 cache value (exactly 4 bytes).
inline constexpr size_t kServerCacheAnswerSize = 4;
std::array<uint8_t, kServerCacheAnswerSize> MakeServerCacheAnswer(uint32_t cacheValue);
std::optional<uint32_t> ParseServerCacheAnswer(std::span<const uint8_t> payload);

// Disinfection flags: one u32.
inline constexpr size_t kDisinfectFlagsSize = 4;
std::array<uint8_t, kDisinfectFlagsSize> MakeDisinfectFlags(int32_t flags);
std::optional<int32_t> ParseDisinfectFlags(std::span<const uint8_t> payload);

}  // namespace sondrel
