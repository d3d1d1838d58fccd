#include "protocol/host_requests.h"

#include <algorithm>

#include "protocol/byte_reader.h"
#include "protocol/little_endian.h"

namespace sondrel {
namespace {

// Callback request: data length and capacity after the 8-byte address.
constexpr size_t kCallbackDataLength = 8;
constexpr size_t kCallbackCapacity = 12;

// Scan-from-AM record: identifier and value, then the list header R (five words) at offset 12,
// whose second and third words give the list's offset (from R) and size.
constexpr size_t kAmIdentifier = 4;
constexpr size_t kAmValue = 8;
constexpr size_t kAmListHeader = 12;
constexpr size_t kAmListHeaderSize = 20;

}  // namespace

std::array<uint8_t, ValueRequest::kSize> MakeValueRequest(const ValueRequest& request) {
  std::array<uint8_t, ValueRequest::kSize> payload{};
  StoreLittleEndian(payload.data(), request.low);
  StoreLittleEndian(payload.data() + 4, request.high);
  return payload;
}

std::optional<ValueRequest> ParseValueRequest(std::span<const uint8_t> payload) {
  const ByteReader reader(payload);
  const auto low = reader.U32At(0);
  const auto high = reader.U32At(4);
  if (!low || !high) {
    return std::nullopt;
  }
  return ValueRequest{*low, *high};
}

std::array<uint8_t, kValueAnswerSize> MakeValueAnswer(int32_t result) {
  std::array<uint8_t, kValueAnswerSize> payload{};
  StoreLittleEndian<int64_t>(payload.data(), result);
  return payload;
}

std::optional<int64_t> ParseValueAnswer(std::span<const uint8_t> payload) {
  const auto value = ByteReader(payload).U64At(0);
  if (!value) {
    return std::nullopt;
  }
  return static_cast<int64_t>(*value);
}

std::vector<uint8_t> MakeCallbackRequest(std::span<const uint8_t> data, uint32_t capacity) {
  std::vector<uint8_t> payload(CallbackRequest::kFixedSize + data.size());
  // The data's address is its offset in this record; the receiver ignores it.
  WriteCallbackHeader(payload.data(), data.empty() ? 0 : CallbackRequest::kFixedSize,
                      static_cast<uint32_t>(data.size()), capacity);
  std::copy(data.begin(), data.end(), payload.begin() + CallbackRequest::kFixedSize);
  return payload;
}

void WriteCallbackHeader(uint8_t* record, uint64_t address, uint32_t length, uint32_t capacity) {
  StoreLittleEndian(record, address);
  StoreLittleEndian(record + kCallbackDataLength, length);
  StoreLittleEndian(record + kCallbackCapacity, capacity);
}

std::optional<CallbackRequest> ParseCallbackRequest(std::span<const uint8_t> payload) {
  const ByteReader reader(payload);
  if (!reader.Has(0, CallbackRequest::kFixedSize)) {
    return std::nullopt;
  }
  const auto data = reader.BytesAt(CallbackRequest::kFixedSize, *reader.U32At(kCallbackDataLength));
  if (!data) {
    return std::nullopt;
  }
  return CallbackRequest{*data, *reader.U32At(kCallbackCapacity)};
}

std::optional<ScanFromAmList> ParseScanFromAmList(std::span<const uint8_t> data) {
  const ByteReader reader(data);
  if (reader.U32At(kAmIdentifier) != ScanFromAmList::kIdentifier) {
    return std::nullopt;
  }
  ScanFromAmList list;
  list.value = reader.U32At(kAmValue).value_or(0);
  if (list.value == 0 || !reader.Has(kAmListHeader, kAmListHeaderSize)) {
    return std::nullopt;
  }
  for (size_t i = 0; i < list.words.size(); ++i) {
    list.words[i] = *reader.U32At(kAmListHeader + 4 * (i + 1));
  }
  const uint64_t listOffset = uint64_t{kAmListHeader} + list.words[0];
  const auto bytes = reader.BytesAt(listOffset, list.words[1]);
  if (!bytes) {
    return std::nullopt;
  }
  // NUL-terminated paths; the last one may end with the list instead.
  std::span<const uint8_t> rest = *bytes;
  while (!rest.empty()) {
    const auto end = std::find(rest.begin(), rest.end(), uint8_t{0});
    if (end != rest.begin()) {
      list.paths.emplace_back(rest.begin(), end);
    }
    rest = rest.subspan(std::min<size_t>(end - rest.begin() + 1, rest.size()));
  }
  return list;
}

}  // namespace sondrel
