// Requests a scan server makes of the host through the client during a conversation, and the
// client's answers: value requests (110) and callback requests (111), with the scan-from-AM list
// that a callback may carry. Integers are little-endian; every length a peer announces is checked
// against the bytes that actually arrived.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sondrel {

// A value request's 64-bit value as its two halves.
struct ValueRequest {
  static constexpr size_t kSize = 8;

  uint32_t low = 0;
  uint32_t high = 0;
};
std::array<uint8_t, ValueRequest::kSize> MakeValueRequest(const ValueRequest& request);
std::optional<ValueRequest> ParseValueRequest(std::span<const uint8_t> payload);
// The answer: the host's result sign-extended to 64 bits.
inline constexpr size_t kValueAnswerSize = 8;
std::array<uint8_t, kValueAnswerSize> MakeValueAnswer(int32_t result);
std::optional<int64_t> ParseValueAnswer(std::span<const uint8_t> payload);

// A callback request, and the client's answer in the same layout: 8-byte address, u32 data
// length, u32 capacity, then the data. Without its fixed part, or with data that is not all
// present, it is inconsistent.
struct CallbackRequest {
  static constexpr uint32_t kFixedSize = 16;

  std::span<const uint8_t> data;
  uint32_t capacity = 0;
};
std::vector<uint8_t> MakeCallbackRequest(std::span<const uint8_t> data, uint32_t capacity);
// Writes the fixed part in front of the data of a record that a sender fills itself.
void WriteCallbackHeader(uint8_t* record, uint64_t address, uint32_t length, uint32_t capacity);
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
