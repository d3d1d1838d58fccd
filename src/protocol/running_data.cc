#include "protocol/running_data.h"

#include <algorithm>

#include "protocol/byte_reader.h"
#include "protocol/little_endian.h"

namespace sondrel::running_data {
namespace {

constexpr size_t kIdOffset = 4;
constexpr size_t kVersionMajorOffset = 20;
constexpr size_t kVersionMinorOffset = 22;

}  // namespace

std::array<uint8_t, kRequestSize> MakeRequest() {
  std::array<uint8_t, kRequestSize> request{};
  StoreLittleEndian(request.data(), kRequestValue);
  return request;
}

std::array<uint8_t, kRecordSize> MakeRecord(const RunningData& data) {
  std::array<uint8_t, kRecordSize> record{};
  StoreLittleEndian(record.data(), kRecordSize);
  std::copy(data.id.begin(), data.id.end(), record.begin() + kIdOffset);
  StoreLittleEndian(record.data() + kVersionMajorOffset, data.versionMajor);
  StoreLittleEndian(record.data() + kVersionMinorOffset, data.versionMinor);
  return record;
}

std::optional<RunningData> ParseRecord(std::span<const uint8_t> payload) {
  const ByteReader reader(payload);
  const auto id = reader.BytesAt(kIdOffset, std::tuple_size_v<ServerIdentity>);
  const auto major = reader.U16At(kVersionMajorOffset);
  const auto minor = reader.U16At(kVersionMinorOffset);
  if (reader.U32At(0) != kRecordSize || !id || !major || !minor) {
    return std::nullopt;
  }
  RunningData data;
  std::copy(id->begin(), id->end(), data.id.begin());
  data.versionMajor = *major;
  data.versionMinor = *minor;
  return data;
}

}  // namespace sondrel::running_data
