#include "comm/hello_record.h"

#include <algorithm>
#include <cstring>

#include "comm/byte_reader.h"
#include "comm/little_endian.h"
#include "comm/server_state.h"

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

int32_t LoadStateOf(uint32_t serverStatus) {
  if ((serverStatus & 0x1) != 0) {
    return Server_Underloaded;
  }
  if ((serverStatus & 0x2) == 0) {
    return (serverStatus & 0x4) != 0 ? Server_Overloaded : Server_Normal;
  }
  if ((serverStatus & 0x8) != 0) {
    return Server_Overloaded;
  }
  return (serverStatus & 0x10) != 0 ? Server_Underloaded : Server_Normal;
}

}  // namespace sondrel::hello
