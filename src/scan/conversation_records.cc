#include "scan/conversation_records.h"

#include <algorithm>

#include "comm/byte_reader.h"
#include "comm/little_endian.h"

namespace sondrel {
namespace {

// Detection report: the length fields of texts 1 to 4 (each after its 8-byte address).
constexpr size_t kTextLengthOffsets[] = {28, 40, 52, 64};
constexpr size_t kReportVerdict = 8;
constexpr size_t kReportOutByte = 68;

// Callback request and data notification.
constexpr size_t kCallbackDataLength = 8;
constexpr size_t kCallbackCapacity = 12;
constexpr size_t kNotificationData = 12;

// Scan-from-AM record: identifier and value, then the list header R (five words) at offset 12,
// whose second and third words give the list's offset (from R) and size.
constexpr size_t kAmIdentifier = 4;
constexpr size_t kAmValue = 8;
constexpr size_t kAmListHeader = 12;
constexpr size_t kAmListHeaderSize = 20;

std::string TextUpToNul(std::span<const uint8_t> bytes) {
  const auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
  return std::string(bytes.begin(), end);
}

BufferDescriptor ReadDescriptor(const ByteReader& reader) {
  BufferDescriptor descriptor;
  descriptor.offset = *reader.U64At(0);
  descriptor.requestedCount = *reader.U32At(8);
  descriptor.dataAddress = *reader.U64At(12);
  descriptor.dataLength = *reader.U32At(20);
  descriptor.status = *reader.I32At(24);
  return descriptor;
}

}  // namespace

void BufferDescriptor::WriteTo(uint8_t* record) const {
  StoreLittleEndian(record, offset);
  StoreLittleEndian(record + 8, requestedCount);
  StoreLittleEndian(record + 12, dataAddress);
  StoreLittleEndian(record + 20, dataLength);
  StoreLittleEndian(record + 24, status);
}

std::optional<BufferDescriptor> ParseReadRequest(std::span<const uint8_t> payload) {
  const ByteReader reader(payload);
  if (!reader.Has(0, BufferDescriptor::kSize)) {
    return std::nullopt;
  }
  return ReadDescriptor(reader);
}

std::optional<WriteRequest> ParseWriteRequest(std::span<const uint8_t> payload) {
  const ByteReader reader(payload);
  if (!reader.Has(0, BufferDescriptor::kSize)) {
    return std::nullopt;
  }
  const BufferDescriptor descriptor = ReadDescriptor(reader);
  const auto data = reader.BytesAt(BufferDescriptor::kSize, descriptor.dataLength);
  if (!data) {
    return std::nullopt;
  }
  return WriteRequest{descriptor, *data};
}

std::optional<DetectionReport> ParseDetectionReport(std::span<const uint8_t> payload) {
  const ByteReader reader(payload);
  if (!reader.Has(0, DetectionReport::kFixedSize)) {
    return std::nullopt;
  }
  DetectionReport report;
  report.verdict = *reader.U32At(kReportVerdict);
  report.outByte = *reader.U32At(kReportOutByte);
  std::string* const texts[] = {nullptr, &report.objectName, &report.fileName, &report.threatName};
  size_t next = DetectionReport::kFixedSize;
  for (size_t i = 0; i < std::size(kTextLengthOffsets); ++i) {
    const auto item = reader.BytesAt(next, *reader.U32At(kTextLengthOffsets[i]));
    if (!item) {
      break;
    }
    if (texts[i] != nullptr) {
      *texts[i] = TextUpToNul(*item);
    }
    next += item->size();
  }
  return report;
}

FinalAnswer ParseFinalAnswer(std::span<const uint8_t> payload) {
  const ByteReader reader(payload);
  FinalAnswer answer;
  if (const auto status = reader.I32At(0)) {
    answer.finalStatus = *status;
  }
  if (payload.size() >= FinalAnswer::kWithResultBlock) {
    answer.hasResultBlock = true;
    for (size_t i = 0; i < answer.resultBlock.size(); ++i) {
      answer.resultBlock[i] = *reader.I32At(4 + 4 * i);
    }
  }
  if (payload.size() >= FinalAnswer::kComplete) {
    answer.cacheValue = *reader.U32At(48);
    answer.storeBlocking = payload[52];
  }
  return answer;
}

std::optional<std::span<const uint8_t>> ParseDataNotification(std::span<const uint8_t> payload) {
  const ByteReader reader(payload);
  const auto length = reader.U32At(0);
  if (!length) {
    return std::nullopt;
  }
  return reader.BytesAt(kNotificationData, *length);
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
