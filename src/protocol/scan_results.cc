#include "protocol/scan_results.h"

#include <algorithm>

#include "protocol/byte_reader.h"
#include "protocol/little_endian.h"

namespace sondrel {
namespace {

// Detection report: the length fields of texts 1 to 4 (each after its 8-byte address).
constexpr size_t kTextAddressOffsets[] = {20, 32, 44, 56};
constexpr size_t kTextLengthOffsets[] = {28, 40, 52, 64};
constexpr size_t kReportVerdict = 8;
constexpr size_t kReportOutByte = 68;

// Data notification: length, address, data.
constexpr size_t kNotificationAddress = 4;
constexpr size_t kNotificationData = 12;

std::string TextUpToNul(std::span<const uint8_t> bytes) {
  const auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
  return std::string(bytes.begin(), end);
}

}  // namespace

std::vector<uint8_t> MakeDetectionReport(const DetectionReport& report) {
  const std::string_view texts[] = {{}, report.objectName, report.fileName, report.threatName};
  std::vector<uint8_t> payload(DetectionReport::kFixedSize, 0);
  StoreLittleEndian(payload.data() + kReportVerdict, report.verdict);
  StoreLittleEndian(payload.data() + kReportOutByte, report.outByte);
  for (size_t i = 0; i < std::size(texts); ++i) {
    // Up to the first NUL, which the item carries.
    const std::string_view text = texts[i].substr(0, texts[i].find('\0'));
    const auto length = static_cast<uint32_t>(text.size() + 1);
    StoreLittleEndian<uint64_t>(payload.data() + kTextAddressOffsets[i], payload.size());
    StoreLittleEndian(payload.data() + kTextLengthOffsets[i], length);
    payload.insert(payload.end(), text.begin(), text.end());
    payload.push_back(0);
  }
  return payload;
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

std::array<uint8_t, FinalAnswer::kComplete> MakeFinalAnswer(int32_t finalStatus,
                                                            const ResultBlock& resultBlock,
                                                            uint32_t cacheValue,
                                                            uint8_t storeBlocking) {
  std::array<uint8_t, FinalAnswer::kComplete> payload{};
  StoreLittleEndian(payload.data(), finalStatus);
  for (size_t i = 0; i < resultBlock.words.size(); ++i) {
    StoreLittleEndian(payload.data() + 4 + 4 * i, resultBlock.words[i]);
  }
  StoreLittleEndian(payload.data() + 48, cacheValue);
  payload[52] = storeBlocking;
  return payload;
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

std::vector<uint8_t> MakeDataNotification(std::span<const uint8_t> data) {
  std::vector<uint8_t> payload(kNotificationData + data.size(), 0);
  StoreLittleEndian(payload.data(), static_cast<uint32_t>(data.size()));
  StoreLittleEndian<uint64_t>(payload.data() + kNotificationAddress,
                              data.empty() ? 0 : kNotificationData);
  std::copy(data.begin(), data.end(), payload.begin() + kNotificationData);
  return payload;
}

std::optional<std::span<const uint8_t>> ParseDataNotification(std::span<const uint8_t> payload) {
  const ByteReader reader(payload);
  const auto length = reader.U32At(0);
  if (!length) {
    return std::nullopt;
  }
  return reader.BytesAt(kNotificationData, *length);
}

std::array<uint8_t, kServerCacheAnswerSize> MakeServerCacheAnswer(uint32_t cacheValue) {
  std::array<uint8_t, kServerCacheAnswerSize> payload{};
  StoreLittleEndian(payload.data(), cacheValue);
  return payload;
}

std::optional<uint32_t> ParseServerCacheAnswer(std::span<const uint8_t> payload) {
  if (payload.size() != kServerCacheAnswerSize) {
    return std::nullopt;
  }
  return LoadLittleEndian<uint32_t>(payload.data());
}

std::array<uint8_t, kDisinfectFlagsSize> MakeDisinfectFlags(int32_t flags) {
  std::array<uint8_t, kDisinfectFlagsSize> payload{};
  StoreLittleEndian(payload.data(), flags);
  return payload;
}

std::optional<int32_t> ParseDisinfectFlags(std::span<const uint8_t> payload) {
  return ByteReader(payload).I32At(0);
}

}  // namespace sondrel
