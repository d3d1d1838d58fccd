#include "protocol/hello_record.h"

#include <algorithm>
#include <cstring>

#include "protocol/byte_reader.h"
#include "protocol/little_endian.h"

namespace sondrel::hello {

std::vector<uint8_t> MakeRecord(std::string_view engineVersion) {
  std::vector<uint8_t> record(kRecordSize, 0);
  StoreLittleEndian<uint16_t>(record.data() + kVersionMajorOffset, kClientVersionMajor);
  StoreLittleEndian<uint16_t>(record.data() + kVersionMinorOffset, kClientVersionMinor);
  const std::string_view text =
      engineVersion.substr(0, std::min(engineVersion.find('\0'), kEngineVersionCapacity));
  std::memcpy(record.data() + kEngineVersionOffset, text.data(), text.size());
  return record;
}

std::string CopyHostName(std::span<uint8_t> record, std::string_view name) {
  const std::string_view text = name.substr(0, std::min(name.find('\0'), kHostNameCapacity));
  uint8_t* field = record.subspan(kHostNameOffset, kHostNameCapacity).data();
  std::memset(field, 0, kHostNameCapacity);
  std::memcpy(field, text.data(), text.size());
  return std::string(text);
}

uint32_t AnswerFlags(std::span<const uint8_t> payload) {
  return ByteReader(payload).U32At(0).value_or(0);
}

namespace {

// A NUL-terminated text in a fixed field: up to the first NUL or the end of the field.
std::string FieldText(std::span<const uint8_t> field) {
  const auto end = std::find(field.begin(), field.end(), uint8_t{0});
  return std::string(field.begin(), end);
}

}  // namespace

std::optional<Hello> ParseHello(std::span<const uint8_t> payload) {
  const ByteReader reader(payload);
  if (!reader.Has(0, kRecordSize)) {
    return std::nullopt;
  }
  Hello hello;
  hello.versionMajor = *reader.U16At(kVersionMajorOffset);
  hello.versionMinor = *reader.U16At(kVersionMinorOffset);
  hello.engineVersion =
      FieldText(*reader.BytesAt(kEngineVersionOffset, kHostNameOffset - kEngineVersionOffset));
  hello.hostName = FieldText(*reader.BytesAt(kHostNameOffset, kRecordSize - kHostNameOffset));
  if (const auto timestamp = reader.U64At(kTimestampOffset)) {
    hello.timestamp = *timestamp;
  }
  return hello;
}

std::vector<uint8_t> MakeAnswer(uint32_t flags, std::optional<uint64_t> echoedTimestamp) {
  std::vector<uint8_t> answer(echoedTimestamp ? kEchoingAnswerSize : sizeof(flags), 0);
  StoreLittleEndian(answer.data(), flags);
  if (echoedTimestamp) {
    StoreLittleEndian(answer.data() + kEchoedTimestampOffset, *echoedTimestamp);
  }
  return answer;
}

}  // namespace sondrel::hello
